#include "tools/decode/inputs/Inputs.h"

#include <algorithm>

namespace qrx {

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) {
        return false;
    }
    const std::string_view tail = text.substr(text.size() - end.size());
    return std::equal(tail.begin(), tail.end(), end.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b;
    });
}

bool Walk(IFileTree& tree, const std::string& folder, int depth, std::vector<std::string>& files,
          std::string& failed, std::string& error) {
    std::vector<IFileTree::Entry> entries;
    if (!tree.List(folder, entries, error)) {
        failed = folder;
        return false;
    }
    // Joined with the separator the folder's name uses: "受付\\山田様\\PC_INFO_….dat" on Windows.
    const char separator =
        folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos ? '\\'
                                                                                        : '/';
    const std::string base =
        folder.ends_with('/') || folder.ends_with('\\') ? folder : folder + separator;
    for (const auto& e : entries) {
        if (e.folder) {
            if (depth >= kMaxDepth) {
                failed = base + e.name;
                error = "フォルダーが深すぎます";
                return false;
            }
            if (!Walk(tree, base + e.name, depth + 1, files, failed, error)) {
                return false;
            }
        } else if (IsDataFileName(e.name)) {
            files.push_back(base + e.name);
        }
    }
    return true;
}

}  // namespace

bool PlainFiles::List(const std::string&, std::vector<Entry>&, std::string& error) {
    error = "フォルダーは読めません";
    return false;
}

std::string PlainFiles::ReadArchive(const std::string&, const std::optional<std::string>&,
                                    std::size_t, const std::function<bool(std::string_view)>&,
                                    const Member&, std::string&) {
    return "圧縮ファイルは読めません";
}

bool IsDataFileName(std::string_view name) {
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    constexpr std::string_view kPrefix = "pc_info_";
    return name.size() > kPrefix.size() + 4 &&
           EndsWithNoCase(name.substr(0, kPrefix.size()), kPrefix) && EndsWithNoCase(name, ".dat");
}

bool IsArchiveName(std::string_view path) {
    for (const char* end : {".zip", ".7z", ".lzh", ".lha", ".tar.gz", ".tgz"}) {
        if (EndsWithNoCase(path, end)) {
            return true;
        }
    }
    return false;
}

bool DataFilesBelow(IFileTree& tree, const std::string& folder, std::vector<std::string>& files,
                    std::string& failed, std::string& error) {
    files.clear();
    if (!Walk(tree, folder, 0, files, failed, error)) {
        return false;
    }
    std::sort(files.begin(), files.end());
    return true;
}

std::string MaskedFileNames::operator()(const std::string& name, bool standardInput) {
    if (standardInput) {
        return "-";
    }
    const auto cut = name.find_last_of("/\\:");
    const std::string_view base =
        cut == std::string::npos ? std::string_view(name) : std::string_view(name).substr(cut + 1);
    constexpr std::string_view kPrefix = "PC_INFO_";
    if (base.starts_with(kPrefix) && base.ends_with(".dat") && base.size() > kPrefix.size() + 4 &&
        base.size() <= kPrefix.size() + 4 + 20) {
        const std::string_view stamp =
            base.substr(kPrefix.size(), base.size() - kPrefix.size() - 4);
        if (stamp.find_first_not_of("0123456789") == std::string_view::npos) {
            return std::string(base);
        }
    }
    // A name met again (a file given twice, a folder's error and its file) keeps its number.
    const auto [at, added] = given_.try_emplace(name);
    if (added) {
        at->second = "file-" + std::to_string(++next_);
    }
    return at->second;
}

}  // namespace qrx
