#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qrx {

// What kind of personal value a property holds, for masking.
enum class Personal { None, Mac, Ip, HostName, Serial, Uuid, DeviceId };

// One property of a class as the program collects it.
struct PlannedProperty {
    std::string_view name;
    bool inRun;        // queried by the collection run
    bool inCategory;   // queried by the class's category command
    bool recorded;     // its values reach the data file (a boolean is only traced)
    bool multiValued;  // an array: one record per element
    Personal personal;
    // Identifies an instance across two collections: 1 first, 2 next, ...; 0 not at all.
    int identity;
    // The value begins with "[index] ", which the system renumbers as adapters come and go.
    bool indexed;
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
