#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/decode/records/RecordModel.h"

namespace qrx {

// Two instances taken to be the same thing in an older and a newer collection; one side is
// null for an instance that is only in one of them. `label` names the instance for people and
// tells it apart from the others of its class.
struct InstancePair {
    const Instance* old = nullptr;
    const Instance* now = nullptr;
    std::string label;
};

// Matches the instances of one class by the properties that the plan marks as identifying
// (all of them together first, then each alone in the plan's order; an index that the system
// renumbers does not count); instances without any, and classes without such properties, pair
// up in file order.
std::vector<InstancePair> MatchInstances(std::string_view className,
                                         const std::vector<const Instance*>& old,
                                         const std::vector<const Instance*>& now);

// The labels of the instances of one class in one collection, as MatchInstances names them.
std::vector<std::string> InstanceLabels(std::string_view className,
                                        const std::vector<const Instance*>& instances);

// Every value of a class in file order with its instance's label and property, handed to
// `row` until it returns false; false when it did.
bool EachLabelledValue(const ClassRecords& c,
                       const std::function<bool(const std::string& label, const Property& p,
                                                const std::string& v)>& row);

// What changed between an older and a newer collection.
struct PropertyChange {
    enum class Kind { Added, Removed, Changed };
    Kind kind;
    std::string name;
    bool set = false;  // an array: `removed` and `added` hold the elements that differ
    std::vector<std::string> removed;  // the old value(s)
    std::vector<std::string> added;    // the new value(s)
    bool unknown = false;              // a property that the plan does not know
};

struct InstanceChange {
    enum class Kind { Added, Removed, Changed };
    Kind kind;
    std::string label;
    std::vector<PropertyChange> properties;
};

struct ClassChange {
    enum class Kind { Added, Removed, Changed };
    Kind kind;
    std::string name;
    std::vector<InstanceChange> instances;
    bool unknown = false;  // a class that the plan does not know
};

// Class by class, instance by instance (matched as MatchInstances says); only what differs.
// Multi-valued properties compare as sets; a change of only the index of an indexed value is
// no change.
std::vector<ClassChange> Compare(const Collection& old, const Collection& now);

// One row of a changed property as the people-facing formats show it: old and new value side
// by side for a changed single value, else the values that left and those that came, each a row
// of its own (`old` or `now` empty).
struct PropertyRow {
    PropertyChange::Kind kind;
    const std::vector<std::string>& old;
    const std::vector<std::string>& now;
};
std::vector<PropertyRow> PropertyRows(const PropertyChange& p);
}  // namespace qrx
