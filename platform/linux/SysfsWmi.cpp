#include "platform/linux/SysfsWmi.h"

#include <cstdio>

#include "platform/RecordLimits.h"
#include "platform/linux/facts/Dmi.h"
#include "platform/linux/facts/Files.h"

namespace qrx {

namespace {

Variant TextOrNull(const std::optional<std::string>& text) {
    return text ? Variant::Text(*text) : Variant::Null();
}

// An instance of text properties, null where the text is missing.
SysfsWmi::Instance Texts(
    std::initializer_list<std::pair<const char*, std::optional<std::string>>> properties) {
    SysfsWmi::Instance instance;
    for (const auto& [name, text] : properties) {
        instance.emplace(name, TextOrNull(text));
    }
    return instance;
}

// Every text, also inside arrays, cut to the longest value the decoder is sure to accept.
void CutTexts(Variant& value) {
    if (value.type == vt::BSTR) {
        value.text = CutUtf8(std::move(value.text), kMaxStandInValueBytes);
    }
    for (auto& element : value.elements) {
        CutTexts(element);
    }
}

}  // namespace

std::optional<std::vector<SysfsWmi::Instance>> SysfsWmi::Fetch(const std::string& className) {
    using Builder = std::vector<Instance> (SysfsWmi::*)();
    static const std::map<std::string, Builder, NoCaseLess> builders = {
        {"Win32_NetworkAdapterConfiguration", &SysfsWmi::NetworkAdapterConfigurations},
        {"Win32_NetworkAdapter", &SysfsWmi::NetworkAdapters},
        {"Win32_Processor", &SysfsWmi::Processors},
        {"Win32_OperatingSystem", &SysfsWmi::OperatingSystems},
        {"Win32_BaseBoard", &SysfsWmi::BaseBoards},
        {"Win32_ComputerSystemProduct", &SysfsWmi::ComputerSystemProducts},
    };
    const auto it = builders.find(className);
    if (it == builders.end()) {
        return std::nullopt;
    }
    auto instances = (this->*(it->second))();
    for (auto& instance : instances) {
        for (auto& [name, value] : instance) {
            CutTexts(value);
        }
    }
    return instances;
}

std::vector<SysfsWmi::Instance> SysfsWmi::NetworkAdapterConfigurations() {
    std::vector<Instance> out;
    for (const Adapter& a : ReadAdapters(root_, seams_.interfaces(), seams_.hwdb)) {
        std::vector<Variant> addresses;
        for (const auto& address : a.net.addresses) {
            addresses.push_back(Variant::Text(address));
        }
        char index[16];
        std::snprintf(index, sizeof index, "[%08u] ", a.net.index);
        out.push_back({
            {"Caption", Variant::Text(index + a.description)},
            {"IPAddress", addresses.empty() ? Variant::Null() : Variant::Array(addresses)},
            {"MACAddress", TextOrNull(a.mac)},
        });
    }
    return out;
}

std::vector<SysfsWmi::Instance> SysfsWmi::NetworkAdapters() {
    std::vector<Instance> out;
    for (const Adapter& a : ReadAdapters(root_, seams_.interfaces(), seams_.hwdb)) {
        out.push_back({
            {"Description", Variant::Text(a.description)},
            {"AdapterType", a.ethernet ? Variant::Text("Ethernet 802.3") : Variant::Null()},
            {"Manufacturer", TextOrNull(a.manufacturer)},
            {"Name", Variant::Text(a.net.name)},
            {"PhysicalAdapter", Variant::Bool(a.physical)},
            {"PNPDeviceID", TextOrNull(a.pnpDeviceId)},
        });
    }
    return out;
}

std::vector<SysfsWmi::Instance> SysfsWmi::Processors() {
    const auto machine = MachineType(root_, seams_.machine);
    std::vector<Instance> out;
    for (const ProcessorFacts& cpu : ReadProcessors(root_, machine)) {
        out.push_back({
            {"Name", TextOrNull(cpu.name)},
            {"Description", TextOrNull(cpu.description)},
            {"ProcessorId", IsX86(machine) ? TextOrNull(seams_.processorId()) : Variant::Null()},
        });
    }
    return out;
}

std::vector<SysfsWmi::Instance> SysfsWmi::OperatingSystems() {
    const OperatingSystemFacts os = ReadOperatingSystem(root_, MachineType(root_, seams_.machine));
    char localeHex[8] = {};
    if (os.locale != nullptr) {
        std::snprintf(localeHex, sizeof localeHex, "%04X", os.locale->lcid);
    }
    return {{
        {"Caption", TextOrNull(os.caption)},
        {"OSArchitecture", TextOrNull(os.architecture)},
        {"Version", TextOrNull(os.version)},
        {"BuildNumber", TextOrNull(os.build)},
        {"OSLanguage", os.locale ? Variant::Int(os.locale->lcid) : Variant::Null()},
        {"CountryCode", os.locale ? Variant::Text(os.locale->countryCode) : Variant::Null()},
        {"Locale", os.locale ? Variant::Text(localeHex) : Variant::Null()},
        {"CSName", TextOrNull(os.host)},
        {"SerialNumber", TextOrNull(os.serial)},
        {"TotalVisibleMemorySize", TextOrNull(os.memory)},
    }};
}

std::vector<SysfsWmi::Instance> SysfsWmi::BaseBoards() {
    const BaseBoardFacts b = ReadBaseBoard(root_);
    return {Texts({{"Manufacturer", b.manufacturer},
                   {"Product", b.product},
                   {"Version", b.version},
                   {"SerialNumber", b.serial}})};
}

std::vector<SysfsWmi::Instance> SysfsWmi::ComputerSystemProducts() {
    const ProductFacts p = ReadProduct(root_);
    return {Texts({{"Vendor", p.vendor}, {"Name", p.name}, {"UUID", p.uuid}})};
}

}  // namespace qrx
