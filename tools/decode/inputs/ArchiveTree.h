#pragma once

#include <functional>

#include "tools/decode/inputs/FolderTree.h"

struct archive;

namespace qrx {

// Folders, and archives through libarchive: zip (also with a password), 7z, lzh and tar.gz.
class ArchiveTree : public FolderTree {
  public:
    // Opens the archive at a UTF-8 path for reading as libarchive's archive_read_open_* do: the
    // platform's own call, so that every name the system can take is opened.
    using Opener = std::function<int(archive*, const std::string& path)>;
    explicit ArchiveTree(Opener open) : open_(std::move(open)) {}

    Done ReadArchive(const std::string& path, const std::vector<std::string>& passwords,
                     InflateBudget& budget, const Wanted& wanted, const Member& each,
                     std::string& member) override;

  private:
    Opener open_;
};

}  // namespace qrx
