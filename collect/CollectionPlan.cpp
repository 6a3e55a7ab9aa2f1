#include "collect/CollectionPlan.h"

#include <array>

namespace qrx {

namespace {

constexpr Personal kNone = Personal::None;
constexpr WmiType kText = WmiType::Text;
constexpr WmiType kTextArray = WmiType::TextArray;
constexpr WmiType kBoolean = WmiType::Boolean;
constexpr WmiType kInteger = WmiType::Integer;

// clang-format off
// name, the type Windows delivers, run, category, personal, identity, indexed. The scripting
// interface hands a uint64 (TotalVisibleMemorySize) as text.
constexpr PlannedProperty kAdapterConfiguration[] = {
    {"Caption",                kText,      true,  true,  kNone,              1, true},
    {"IPAddress",              kTextArray, true,  true,  Personal::Ip,       0, false},
    {"MACAddress",             kText,      true,  true,  Personal::Mac,      2, false},
};
constexpr PlannedProperty kAdapter[] = {
    {"Description",            kText,      true,  false, kNone,              3, false},
    {"AdapterType",            kText,      true,  false, kNone,              0, false},
    {"Manufacturer",           kText,      true,  false, kNone,              0, false},
    {"Name",                   kText,      true,  false, kNone,              1, false},
    {"PhysicalAdapter",        kBoolean,   true,  false, kNone,              0, false},
    {"PNPDeviceID",            kText,      true,  false, Personal::DeviceId, 2, false},
};
constexpr PlannedProperty kProcessor[] = {
    {"Name",                   kText,      true,  true,  kNone,              0, false},
    {"Description",            kText,      true,  true,  kNone,              0, false},
    {"ProcessorId",            kText,      true,  true,  kNone,              0, false},
};
constexpr PlannedProperty kOperatingSystem[] = {
    {"Caption",                kText,      true,  true,  kNone,              0, false},
    {"OSArchitecture",         kText,      true,  true,  kNone,              0, false},
    {"Version",                kText,      true,  true,  kNone,              0, false},
    {"BuildNumber",            kText,      true,  false, kNone,              0, false},
    {"OSLanguage",             kInteger,   true,  true,  kNone,              0, false},
    {"CountryCode",            kText,      true,  true,  kNone,              0, false},
    {"Locale",                 kText,      true,  true,  kNone,              0, false},
    {"CSName",                 kText,      true,  true,  Personal::HostName, 0, false},
    {"SerialNumber",           kText,      true,  true,  Personal::Serial,   0, false},
    {"TotalVisibleMemorySize", kText,      true,  true,  kNone,              0, false},
};
constexpr PlannedProperty kBaseBoard[] = {
    {"Manufacturer",           kText,      true,  true,  kNone,              0, false},
    {"Product",                kText,      true,  true,  kNone,              0, false},
    {"Version",                kText,      true,  true,  kNone,              0, false},
    {"SerialNumber",           kText,      false, true,  Personal::Serial,   0, false},
};
constexpr PlannedProperty kProduct[] = {
    {"Vendor",                 kText,      true,  true,  kNone,              0, false},
    {"Name",                   kText,      true,  true,  kNone,              0, false},
    {"UUID",                   kText,      true,  true,  Personal::Uuid,     0, false},
};
// clang-format on

constexpr std::array<PlannedClass, 6> kPlan = {{
    {"Win32_NetworkAdapterConfiguration", kAdapterConfiguration},
    {"Win32_NetworkAdapter", kAdapter},
    {"Win32_Processor", kProcessor},
    {"Win32_OperatingSystem", kOperatingSystem},
    {"Win32_BaseBoard", kBaseBoard},
    {"Win32_ComputerSystemProduct", kProduct},
}};

}  // namespace

int PlannedClass::PlaceOf(std::string_view property) const {
    for (std::size_t i = 0; i < properties.size(); ++i) {
        if (properties[i].name == property) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const PlannedProperty* PlannedClass::Find(std::string_view property) const {
    const int place = PlaceOf(property);
    return place < 0 ? nullptr : &properties[static_cast<std::size_t>(place)];
}

std::span<const PlannedClass> CollectionPlan() {
    return kPlan;
}

const PlannedClass* FindPlannedClass(std::string_view name) {
    for (const auto& c : kPlan) {
        if (c.name == name) {
            return &c;
        }
    }
    return nullptr;
}

const PlannedProperty* FindRecordedProperty(std::string_view name) {
    for (const auto& c : kPlan) {
        if (const PlannedProperty* p = c.Find(name); p != nullptr && p->recorded()) {
            return p;
        }
    }
    return nullptr;
}

const std::vector<CollectionStep>& RunSteps() {
    static const std::vector<CollectionStep> steps = [] {
        std::vector<CollectionStep> out;
        for (const auto& c : kPlan) {
            CollectionStep step{std::string(c.name), {}};
            for (const auto& p : c.properties) {
                if (p.inRun) {
                    step.properties.emplace_back(p.name);
                }
            }
            out.push_back(std::move(step));
        }
        return out;
    }();
    return steps;
}

CollectionStep CategoryStepOf(std::string_view className) {
    CollectionStep step{std::string(className), {}};
    if (const PlannedClass* c = FindPlannedClass(className)) {
        for (const auto& p : c->properties) {
            if (p.inCategory) {
                step.properties.emplace_back(p.name);
            }
        }
    }
    return step;
}

}  // namespace qrx
