#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/decode/Records.h"

namespace qrx {

// What changed between an older and a newer collection.
struct PropertyChange {
    enum class Kind { Added, Removed, Changed };
    Kind kind;
    std::string name;
    bool set = false;  // an array: `removed` and `added` hold the elements that differ
    std::vector<std::string> removed;  // the old value(s)
    std::vector<std::string> added;    // the new value(s)
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
};

// Class by class, instance by instance (matched as MatchInstances says); only what differs.
std::vector<ClassChange> Compare(const Collection& old, const Collection& now);

void WriteDiffText(std::ostream& out, const Collection& old, const Collection& now,
                   const std::vector<ClassChange>& changes);
void WriteDiffJson(std::ostream& out, const Collection& old, const Collection& now,
                   const std::vector<ClassChange>& changes);

// A value for a terminal: control characters other than TAB shown as "\x1b".
std::string Printable(const std::string& text);

}  // namespace qrx
