#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrx {

// What kind of personal value a property holds, for masking.
enum class Personal { None, Mac, Ip, HostName, Serial, Uuid, DeviceId };

// The type in which Windows hands a property's value to the scripting interface, which decides
// what GetInfo makes of it.
enum class WmiType {
    Text,       // one record
    TextArray,  // one record per element
    Boolean,    // only traced
    Integer,    // neither recorded nor traced
};

// One property of a class as the program collects it.
struct PlannedProperty {
    std::string_view name;
    WmiType type;
    bool inRun;       // queried by the collection run
    bool inCategory;  // queried by the class's category command
    Personal personal;
    // Identifies an instance across two collections: 1 first, 2 next, ...; 0 not at all.
    int identity;
    // The value begins with "[index] ", which the system renumbers as adapters come and go.
    bool indexed;

    // Its values reach the data file.
    constexpr bool recorded() const { return type == WmiType::Text || multiValued(); }
    // An array: one record per element.
    constexpr bool multiValued() const { return type == WmiType::TextArray; }
};

// One class of the plan and its properties in the order the program writes them: the run's
// list and the category command's list are both this order with some properties left out.
struct PlannedClass {
    std::string_view name;
    std::span<const PlannedProperty> properties;

    // The place of a property in the class, or -1 when the class has no such property.
    int PlaceOf(std::string_view property) const;
    const PlannedProperty* Find(std::string_view property) const;
};

// The classes in the order of the collection run.
std::span<const PlannedClass> CollectionPlan();
const PlannedClass* FindPlannedClass(std::string_view name);
// A property of any class that the program records, or null.
const PlannedProperty* FindRecordedProperty(std::string_view name);

// One WMI class and the properties reported for it.
struct CollectionStep {
    std::string className;
    std::vector<std::string> properties;
};

// The six steps of a collection run, and the step of the category command of a class.
const std::vector<CollectionStep>& RunSteps();
CollectionStep CategoryStepOf(std::string_view className);

}  // namespace qrx
