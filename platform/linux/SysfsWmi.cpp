#include "platform/linux/SysfsWmi.h"

#include <cstdio>

#include "platform/RecordLimits.h"
#include "platform/linux/facts/Dmi.h"
#include "platform/linux/facts/Files.h"

namespace qrx {

namespace {

using Instance = SysfsWmi::Instance;

// What the facts of a class are read from.
struct Reading {
    const std::string& root;
    const SysfsWmi::Seams& seams;
};

Variant TextOrNull(const std::optional<std::string>& text) {
    return text ? Variant::Text(*text) : Variant::Null();
}

// One property of a class and how its value follows from the facts of one instance; a null
// source marks a property only Windows has, which reads as null here.
template <typename Facts>
struct Row {
    std::string_view property;
    Variant (*source)(const Facts&);
};

// --- The facts of one instance of each class, and the source of every property ------------

std::vector<Adapter> Adapters(const Reading& r) {
    return ReadAdapters(r.root, r.seams.interfaces(), r.seams.hwdb);
}

constexpr Row<Adapter> kAdapterConfiguration[] = {
    {"Caption",
     [](const Adapter& a) {
         char index[16];
         std::snprintf(index, sizeof index, "[%08u] ", a.net.index);
         return Variant::Text(index + a.description);
     }},
    {"IPAddress",
     [](const Adapter& a) {
         std::vector<Variant> addresses;
         for (const auto& address : a.net.addresses) {
             addresses.push_back(Variant::Text(address));
         }
         return addresses.empty() ? Variant::Null() : Variant::Array(std::move(addresses));
     }},
    {"MACAddress", [](const Adapter& a) { return TextOrNull(a.mac); }},
};

constexpr Row<Adapter> kAdapter[] = {
    {"Description", [](const Adapter& a) { return Variant::Text(a.description); }},
    {"AdapterType",
     [](const Adapter& a) {
         return a.ethernet ? Variant::Text("Ethernet 802.3") : Variant::Null();
     }},
    {"Manufacturer", [](const Adapter& a) { return TextOrNull(a.manufacturer); }},
    {"Name", [](const Adapter& a) { return Variant::Text(a.net.name); }},
    {"PhysicalAdapter", [](const Adapter& a) { return Variant::Bool(a.physical); }},
    {"PNPDeviceID", [](const Adapter& a) { return TextOrNull(a.pnpDeviceId); }},
};

// A package and its CPUID signature, which only x86 has.
struct Cpu {
    ProcessorFacts facts;
    std::optional<std::string> id;
};

std::vector<Cpu> Cpus(const Reading& r) {
    const auto machine = MachineType(r.root, r.seams.machine);
    std::vector<Cpu> out;
    for (ProcessorFacts& cpu : ReadProcessors(r.root, machine)) {
        out.push_back({std::move(cpu), IsX86(machine) ? r.seams.processorId() : std::nullopt});
    }
    return out;
}

constexpr Row<Cpu> kProcessor[] = {
    {"Name", [](const Cpu& c) { return TextOrNull(c.facts.name); }},
    {"Description", [](const Cpu& c) { return TextOrNull(c.facts.description); }},
    {"ProcessorId", [](const Cpu& c) { return TextOrNull(c.id); }},
};

std::vector<OperatingSystemFacts> OperatingSystems(const Reading& r) {
    return {ReadOperatingSystem(r.root, MachineType(r.root, r.seams.machine))};
}

using OsFacts = OperatingSystemFacts;
constexpr Row<OsFacts> kOperatingSystem[] = {
    {"Caption", [](const OsFacts& os) { return TextOrNull(os.caption); }},
    {"OSArchitecture", [](const OsFacts& os) { return TextOrNull(os.architecture); }},
    {"Version", [](const OsFacts& os) { return TextOrNull(os.version); }},
    {"BuildNumber", [](const OsFacts& os) { return TextOrNull(os.build); }},
    {"OSLanguage",
     [](const OsFacts& os) { return os.locale ? Variant::Int(os.locale->lcid) : Variant::Null(); }},
    {"CountryCode",
     [](const OsFacts& os) {
         return os.locale ? Variant::Text(os.locale->countryCode) : Variant::Null();
     }},
    {"Locale",
     [](const OsFacts& os) {
         char hex[16] = {};
         if (os.locale != nullptr) {
             std::snprintf(hex, sizeof hex, "%04X", os.locale->lcid);
         }
         return os.locale ? Variant::Text(hex) : Variant::Null();
     }},
    {"CSName", [](const OsFacts& os) { return TextOrNull(os.host); }},
    {"SerialNumber", [](const OsFacts& os) { return TextOrNull(os.serial); }},
    {"TotalVisibleMemorySize", [](const OsFacts& os) { return TextOrNull(os.memory); }},
};

std::vector<BaseBoardFacts> BaseBoards(const Reading& r) {
    return {ReadBaseBoard(r.root)};
}

constexpr Row<BaseBoardFacts> kBaseBoard[] = {
    {"Manufacturer", [](const BaseBoardFacts& b) { return TextOrNull(b.manufacturer); }},
    {"Product", [](const BaseBoardFacts& b) { return TextOrNull(b.product); }},
    {"Version", [](const BaseBoardFacts& b) { return TextOrNull(b.version); }},
    {"SerialNumber", [](const BaseBoardFacts& b) { return TextOrNull(b.serial); }},
};

std::vector<ProductFacts> Products(const Reading& r) {
    return {ReadProduct(r.root)};
}

constexpr Row<ProductFacts> kProduct[] = {
    {"Vendor", [](const ProductFacts& p) { return TextOrNull(p.vendor); }},
    {"Name", [](const ProductFacts& p) { return TextOrNull(p.name); }},
    {"UUID", [](const ProductFacts& p) { return TextOrNull(p.uuid); }},
};

// --- The classes --------------------------------------------------------------------------

// Every text, also inside arrays, cut to the longest value the decoder is sure to accept.
void CutTexts(Variant& value) {
    if (value.type == vt::BSTR) {
        value.text = CutUtf8(std::move(value.text), kMaxStandInValueBytes);
    }
    for (auto& element : value.elements) {
        CutTexts(element);
    }
}

// A class: its instances, each property from its source, and what each property comes from.
struct ClassSources {
    std::vector<Instance> (*instances)(const Reading&);
    std::vector<std::pair<std::string_view, SysfsWmi::Source>> properties;
};

// The instances of a class, every property from its source.
template <auto Read, const auto& Rows>
std::vector<Instance> InstancesOf(const Reading& r) {
    std::vector<Instance> out;
    for (const auto& facts : Read(r)) {
        Instance& instance = out.emplace_back();
        for (const auto& row : Rows) {
            Variant value = row.source ? row.source(facts) : Variant::Null();
            CutTexts(value);
            instance.emplace(row.property, std::move(value));
        }
    }
    return out;
}

template <auto Read, const auto& Rows>
ClassSources Sourced() {
    ClassSources c{InstancesOf<Read, Rows>, {}};
    for (const auto& row : Rows) {
        c.properties.emplace_back(
            row.property, row.source ? SysfsWmi::Source::System : SysfsWmi::Source::WindowsOnly);
    }
    return c;
}

const std::map<std::string, ClassSources, NoCaseLess>& SourcesByClass() {
    static const std::map<std::string, ClassSources, NoCaseLess> classes = {
        {"Win32_NetworkAdapterConfiguration", Sourced<Adapters, kAdapterConfiguration>()},
        {"Win32_NetworkAdapter", Sourced<Adapters, kAdapter>()},
        {"Win32_Processor", Sourced<Cpus, kProcessor>()},
        {"Win32_OperatingSystem", Sourced<OperatingSystems, kOperatingSystem>()},
        {"Win32_BaseBoard", Sourced<BaseBoards, kBaseBoard>()},
        {"Win32_ComputerSystemProduct", Sourced<Products, kProduct>()},
    };
    return classes;
}

}  // namespace

SysfsWmi::Source SysfsWmi::SourceOf(std::string_view className, std::string_view property) {
    const auto c = SourcesByClass().find(className);
    if (c != SourcesByClass().end()) {
        for (const auto& [name, source] : c->second.properties) {
            if (name == property) {
                return source;
            }
        }
    }
    return Source::None;
}

std::optional<std::vector<SysfsWmi::Instance>> SysfsWmi::Fetch(const std::string& className) {
    const auto c = SourcesByClass().find(className);
    if (c == SourcesByClass().end()) {
        return std::nullopt;
    }
    return c->second.instances(Reading{root_, seams_});
}

}  // namespace qrx
