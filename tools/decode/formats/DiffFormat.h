#pragma once

#include <string>
#include <vector>

#include "tools/decode/formats/Format.h"
#include "tools/decode/records/Diff.h"

namespace qrx {

// The base of the --diff formats: compares the two collections once both are read; a format
// only writes the changes. Exit status 0 when nothing differs, 1 when something does.
class DiffFormat : public CollectingFormat {
  public:
    int Finish(int status) final;

  protected:
    virtual void Write(const Collection& old, const Collection& now,
                       const std::vector<ClassChange>& changes) = 0;
    // What the desk should know before reading the changes, one sentence each.
    std::vector<std::string> warnings_;
};

// The warnings of a diff: two different PCs (every one of UUID and CSName that both files hold
// differs), or an "old" file collected after the "new" one (by the times in their names).
std::vector<std::string> DiffWarnings(const Collection& old, const Collection& now);

}  // namespace qrx
