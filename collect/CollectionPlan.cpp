#include "collect/CollectionPlan.h"

#include <array>

namespace qrx {

namespace {

constexpr Personal kNone = Personal::None;

// clang-format off
// name, run, category, recorded, multi-valued, personal, identity, indexed. Only text reaches
// the data file: PhysicalAdapter (a boolean) is queried and traced, OSLanguage (an integer) is
// queried only; neither is recorded.
constexpr PlannedProperty kAdapterConfiguration[] = {
    {"Caption",                true,  true,  true,  false, kNone,              1, true},
    {"IPAddress",              true,  true,  true,  true,  Personal::Ip,       0, false},
    {"MACAddress",             true,  true,  true,  false, Personal::Mac,      2, false},
};
constexpr PlannedProperty kAdapter[] = {
    {"Description",            true,  false, true,  false, kNone,              3, false},
    {"AdapterType",            true,  false, true,  false, kNone,              0, false},
    {"Manufacturer",           true,  false, true,  false, kNone,              0, false},
    {"Name",                   true,  false, true,  false, kNone,              1, false},
    {"PhysicalAdapter",        true,  false, false, false, kNone,              0, false},
    {"PNPDeviceID",            true,  false, true,  false, Personal::DeviceId, 2, false},
};
constexpr PlannedProperty kProcessor[] = {
    {"Name",                   true,  true,  true,  false, kNone,              0, false},
    {"Description",            true,  true,  true,  false, kNone,              0, false},
    {"ProcessorId",            true,  true,  true,  false, kNone,              0, false},
};
constexpr PlannedProperty kOperatingSystem[] = {
    {"Caption",                true,  true,  true,  false, kNone,              0, false},
    {"OSArchitecture",         true,  true,  true,  false, kNone,              0, false},
    {"Version",                true,  true,  true,  false, kNone,              0, false},
    {"BuildNumber",            true,  false, true,  false, kNone,              0, false},
    {"OSLanguage",             true,  true,  false, false, kNone,              0, false},
    {"CountryCode",            true,  true,  true,  false, kNone,              0, false},
    {"Locale",                 true,  true,  true,  false, kNone,              0, false},
    {"CSName",                 true,  true,  true,  false, Personal::HostName, 0, false},
    {"SerialNumber",           true,  true,  true,  false, Personal::Serial,   0, false},
    {"TotalVisibleMemorySize", true,  true,  true,  false, kNone,              0, false},
};
constexpr PlannedProperty kBaseBoard[] = {
    {"Manufacturer",           true,  true,  true,  false, kNone,              0, false},
    {"Product",                true,  true,  true,  false, kNone,              0, false},
    {"Version",                true,  true,  true,  false, kNone,              0, false},
    {"SerialNumber",           false, true,  true,  false, Personal::Serial,   0, false},
};
constexpr PlannedProperty kProduct[] = {
    {"Vendor",                 true,  true,  true,  false, kNone,              0, false},
    {"Name",                   true,  true,  true,  false, kNone,              0, false},
    {"UUID",                   true,  true,  true,  false, Personal::Uuid,     0, false},
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
        if (const PlannedProperty* p = c.Find(name); p != nullptr && p->recorded) {
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
