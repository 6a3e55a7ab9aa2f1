#pragma once

#include "tools/decode/inputs/Inputs.h"

namespace qrx {

// Folders through the standard library's file system calls, paths in UTF-8; archives are not
// read (ArchiveTree adds them where the platform has a library for them).
class FolderTree : public PlainFiles {
  public:
    Kind KindOf(const std::string& path) override;
    Result<std::vector<Entry>> List(const std::string& folder) override;
    Done ReadArchive(const std::string&, const std::vector<std::string>&, InflateBudget&,
                     const Wanted&, const Member&, std::string&) override;
};

}  // namespace qrx
