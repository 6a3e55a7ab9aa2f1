#pragma once

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
};

}  // namespace qrx
