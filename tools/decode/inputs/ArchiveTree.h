#pragma once

#include "tools/decode/inputs/FolderTree.h"

namespace qrx {

// Folders, and archives through libarchive: zip (also with a password), 7z, lzh and tar.gz.
class ArchiveTree : public FolderTree {
  public:
    std::string ReadArchive(const std::string& path, const std::optional<std::string>& password,
                            std::size_t maxBytes,
                            const std::function<bool(std::string_view)>& wanted, const Member& each,
                            std::string& member) override;
};

}  // namespace qrx
