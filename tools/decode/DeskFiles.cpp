#include "tools/decode/DeskFiles.h"

#include <algorithm>
#include <ostream>

#include "tools/decode/common/Escape.h"
#include "tools/decode/records/MaskMap.h"

namespace qrx {

Result<std::string> SmallFile(const InputOpener& open, const std::string& path, std::size_t limit) {
    const Result<std::unique_ptr<IByteInput>> input = open(path);
    if (!input) {
        return input.failure();
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const Result<std::size_t> got = (*input)->Read(buffer, sizeof buffer);
        if (!got) {
            return got.failure();
        }
        if (*got == 0) {
            break;
        }
        text.append(buffer, *got);
        if (text.size() > limit) {
            return Failure{
                FailureKind::TooLarge, std::to_string(limit / 1024) + " KiB を超えています", {}};
        }
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    return text;
}

Result<std::string> FirstLine(const InputOpener& open, const std::string& path) {
    Result<std::string> text = SmallFile(open, path, 64 * 1024);
    if (text) {
        text->resize(std::min(text->find_first_of("\r\n"), text->size()));
        if (text->empty()) {
            return Failure{FailureKind::Other, "1 行目が空です", {}};
        }
    }
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find_first_of("\r\n", at), text.size());
        const std::string line = text.substr(at, end - at);
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos) {
            lines.push_back(line.substr(first, line.find_last_not_of(" \t") - first + 1));
        }
        at = end + 1;
    }
    return lines;
}

int Unmask(const DecoderOptions& o, const InputOpener& open, Output& output, std::ostream& err) {
    const Result<std::string> table = SmallFile(open, *o.unmaskMap, kMaxCollectedBytes);
    MaskPairs pairs;
    std::size_t bad = 0;
    if (!table || !ParseMaskMap(*table, pairs, bad)) {
        err << "QRX_PC_INFO_DECODE: " << Escaped(*o.unmaskMap) << ": "
            << (table ? std::to_string(bad) + " 行目が「仮の値<TAB>元の値」ではありません"
                      : table.failure().Message())
            << "\n";
        return kExitNotDone;
    }
    int status = kExitDecoded;
    for (const auto& file : o.files) {
        const Result<std::string> text = SmallFile(open, file, kMaxCollectedBytes);
        if (!text) {
            err << Escaped(file) << ": " << text.failure().Message() << "\n";
            status = kExitNotDone;
            continue;
        }
        output.Text() += Unmasked(*text, pairs);
        output.Flush();
    }
    return status;
}

}  // namespace qrx
