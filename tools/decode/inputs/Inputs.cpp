#include "tools/decode/inputs/Inputs.h"

#include "tools/decode/inputs/InputText.h"
#include "tools/decode/inputs/RecordReader.h"

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

void Walk(IFileTree& tree, const std::string& folder, int depth, FolderContents& found) {
    const Result<std::vector<IFileTree::Entry>> entries = tree.List(folder);
    if (!entries) {
        found.unreadable.emplace_back(folder, entries.failure());
        return;
    }
    // Joined with the separator the folder's name uses: "受付\\山田様\\PC_INFO_….dat" on Windows.
    const char separator =
        folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos ? '\\'
                                                                                        : '/';
    const std::string base =
        folder.ends_with('/') || folder.ends_with('\\') ? folder : folder + separator;
    for (const auto& e : *entries) {
        if (e.folder && depth >= kMaxDepth) {
            found.unreadable.emplace_back(
                base + e.name, Failure{FailureKind::TooLarge, "フォルダーが深すぎます", {}});
        } else if (e.folder) {
            Walk(tree, base + e.name, depth + 1, found);
        } else {
            (e.regular ? found.files : found.others).push_back(base + e.name);
        }
    }
}

}  // namespace

Result<std::vector<IFileTree::Entry>> PlainFiles::List(const std::string&) {
    return Failure{FailureKind::Unsupported, "フォルダーは読めません", {}};
}

Done PlainFiles::ReadArchive(const std::string&, const std::vector<std::string>&, InflateBudget&,
                             const Wanted&, const Member&, std::string&) {
    return Failure{FailureKind::Unsupported, "圧縮ファイルは読めません", {}};
}

bool IsArchiveName(std::string_view path) {
    for (const char* end : {".zip", ".7z", ".lzh", ".lha", ".tar.gz", ".tgz"}) {
        if (EndsWithNoCase(path, end)) {
            return true;
        }
    }
    return false;
}

FolderContents FilesBelow(IFileTree& tree, const std::string& folder) {
    FolderContents found;
    Walk(tree, folder, 0, found);
    std::sort(found.files.begin(), found.files.end());
    std::sort(found.others.begin(), found.others.end());
    std::sort(found.unreadable.begin(), found.unreadable.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return found;
}

Content ContentOf(std::string_view head, LineDecoder& decoder) {
    for (const std::string_view signature :
         {std::string_view("PK\x03\x04"), std::string_view("PK\x05\x06"),
          std::string_view("7z\xBC\xAF\x27\x1C"), std::string_view("\x1F\x8B")}) {
        if (head.starts_with(signature)) {
            return Content::Archive;
        }
    }
    if (head.size() >= 7 && head.substr(2, 3) == "-lh" && head[6] == '-') {
        return Content::Archive;
    }
    // The first record that decodes tells; broken lines before it (a damaged start) do not.
    std::optional<DecodedLine> first;
    bool anyLine = false;
    RecordReader reader(decoder, [&](std::size_t, const DecodedLine& d) {
        anyLine = true;
        if (!first && d.kind != DecodedLine::Kind::Failed) {
            first = d;
        }
    });
    InputText text([&](const char* data, std::size_t size) {
        if (!first) {
            reader.Feed(data, size);
        }
    });
    text.Feed(head.data(), head.size());
    text.Finish();
    if (!first) {
        reader.Finish();
    }
    if (first) {
        // A header, also of a class that a newer program writes first.
        const bool header = first->text.find('\t') == std::string::npos;
        return header ? Content::Data : Content::Records;
    }
    return anyLine ? Content::Other : Content::Empty;
}

std::string MaskedFileNames::operator()(const std::string& name, bool standardInput) {
    if (standardInput) {
        return "-";
    }
    const auto cut = name.find_last_of("/\\:");
    const std::string_view base =
        cut == std::string::npos ? std::string_view(name) : std::string_view(name).substr(cut + 1);
    // Windows' copies ("PC_INFO_… (2).dat", "PC_INFO_… - コピー.dat") keep their name and with
    // it the collection time: the suffixes hold nothing personal.
    std::string_view stem = base.ends_with(".dat") ? base.substr(0, base.size() - 4) : "";
    if (const auto open = stem.rfind(" (");
        open != std::string_view::npos && stem.ends_with(')') && open + 3 < stem.size() &&
        stem.substr(open + 2, stem.size() - open - 3).find_first_not_of("0123456789") ==
            std::string_view::npos) {
        stem = stem.substr(0, open);
    }
    if (stem.ends_with(" - コピー")) {
        stem.remove_suffix(std::string_view(" - コピー").size());
    }
    constexpr std::string_view kPrefix = "PC_INFO_";
    if (stem.starts_with(kPrefix) && stem.size() > kPrefix.size() &&
        stem.size() <= kPrefix.size() + 20 &&
        stem.substr(kPrefix.size()).find_first_not_of("0123456789") == std::string_view::npos) {
        return std::string(base);
    }
    // A name met again (a file given twice, a folder's error and its file) keeps its number.
    const auto [at, added] = given_.try_emplace(name);
    if (added) {
        at->second = "file-" + std::to_string(++next_);
    }
    return at->second;
}

}  // namespace qrx
