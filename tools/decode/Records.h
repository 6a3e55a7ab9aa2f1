#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qrx {

// The records of one data file grouped as the tool wrote them: classes, their instances and
// the properties of each instance. A property with more than one value is an array.
struct Property {
    std::string name;
    std::vector<std::string> values;
};

struct Instance {
    std::vector<Property> properties;
    const Property* Find(std::string_view name) const;
};

struct ClassRecords {
    std::string name;  // empty for records before the first class header
    std::vector<Instance> instances;
    std::vector<std::string> unencrypted;  // records that were stored without encryption
};

struct LineFailure {
    std::size_t line = 0;
    std::string reason;
};

struct Collection {
    std::string file;
    std::vector<ClassRecords> classes;
    std::vector<LineFailure> failures;
    std::string unreadable;  // why the file could not be read; empty when it could
};

// Adds records one by one: records of one property that follow each other form an array, and a
// property name that comes again after others starts a new instance (the tool writes the
// properties of one instance after another without a separator).
class CollectionBuilder {
  public:
    explicit CollectionBuilder(Collection& c) : c_(c) {}
    void Add(std::string_view record, bool unencrypted);

  private:
    Collection& c_;
    std::string lastName_;
};

// A class header record: ten "-", the class name, ten "-".
bool IsClassHeader(std::string_view record);

// All instances of one class in a file, in file order, even when its header came more than once
// (a single-category command appends to the file of the last run).
struct ClassView {
    std::string name;
    std::vector<const Instance*> instances;
};
std::vector<ClassView> ByClass(const Collection& c);

// Two instances taken to be the same thing in an older and a newer collection; one side is
// null for an instance that is only in one of them. `label` names the instance for people.
struct InstancePair {
    const Instance* old = nullptr;
    const Instance* now = nullptr;
    std::string label;
};

// Matches the instances of one class: network adapter configurations by Caption without its
// "[index] " (the index changes when adapters come and go), else by MACAddress; network adapters
// by PNPDeviceID, else Name; every other class, and instances without any of these, by order.
std::vector<InstancePair> MatchInstances(std::string_view className,
                                         const std::vector<const Instance*>& old,
                                         const std::vector<const Instance*>& now);

}  // namespace qrx
