#include "tools/decode/inputs/FolderTree.h"

#include "platform/SystemFailure.h"

#include <filesystem>
#include <system_error>

namespace qrx {

namespace {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

IFileTree::Kind FolderTree::KindOf(const std::string& path) {
    std::error_code ec;
    try {
        return fs::is_directory(PathOf(path), ec) ? Kind::Folder : Kind::File;
    } catch (const std::exception&) {
        return Kind::File;  // a name the system cannot take: opening it says so
    }
}

Result<std::vector<IFileTree::Entry>> FolderTree::List(const std::string& folder) {
    std::vector<Entry> entries;
    try {
        std::error_code ec;
        for (fs::directory_iterator it(PathOf(folder), ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::u8string name = it->path().filename().u8string();
            std::error_code kind;
            const fs::file_type type = it->symlink_status(kind).type();
            entries.push_back({std::string(name.begin(), name.end()),
                               type == fs::file_type::directory, type == fs::file_type::regular});
        }
        if (ec) {
            return FromErrorCode(ec);
        }
    } catch (const std::exception& e) {
        // A name the system cannot take.
        return Failure{FailureKind::Other, "フォルダーの名前を扱えません", e.what()};
    }
    return entries;
}

Done FolderTree::ReadArchive(const std::string&, const std::vector<std::string>&, InflateBudget&,
                             const Wanted&, const Member&, std::string&) {
    return Failure{FailureKind::Unsupported,
                   "この復号プログラムは圧縮ファイルを読めません。展開してから、"
                   "そのフォルダーかファイルを指定してください",
                   {}};
}

}  // namespace qrx
