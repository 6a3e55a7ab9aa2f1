#include "tools/decode/DeskFiles.h"

#include <algorithm>
#include <ostream>

#include "tools/decode/common/Escape.h"
#include "tools/decode/records/MaskMap.h"

namespace qrx {

std::optional<std::string> SmallFile(const InputOpener& open, const std::string& path,
                                     std::size_t limit, std::string& error) {
    const std::unique_ptr<IByteInput> input = open(path, error);
    if (!input) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    std::size_t got = 0;
    do {
        if (!input->Read(buffer, sizeof buffer, got, error)) {
            return std::nullopt;
        }
        text.append(buffer, got);
        if (text.size() > limit) {
            error = std::to_string(limit / 1024) + " KiB を超えています";
            return std::nullopt;
        }
    } while (got > 0);
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    return text;
}

std::optional<std::string> FirstLine(const InputOpener& open, const std::string& path,
                                     std::string& error) {
    std::optional<std::string> text = SmallFile(open, path, 64 * 1024, error);
    if (text) {
        text->resize(std::min(text->find_first_of("\r\n"), text->size()));
        if (text->empty()) {
            error = "1 行目が空です";
            return std::nullopt;
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
    std::string error;
    const std::optional<std::string> table =
        SmallFile(open, *o.unmaskMap, kMaxCollectedBytes, error);
    MaskPairs pairs;
    std::size_t bad = 0;
    if (!table || !ParseMaskMap(*table, pairs, bad)) {
        err << "QRX_PC_INFO_DECODE: " << Escaped(*o.unmaskMap) << ": "
            << (table ? std::to_string(bad) + " 行目が「仮の値<TAB>元の値」ではありません" : error)
            << "\n";
        return kExitNotDone;
    }
    int status = kExitDecoded;
    for (const auto& file : o.files) {
        const std::optional<std::string> text = SmallFile(open, file, kMaxCollectedBytes, error);
        if (!text) {
            err << Escaped(file) << ": " << error << "\n";
            status = kExitNotDone;
            continue;
        }
        output.Text() += Unmasked(*text, pairs);
        output.Flush();
    }
    return status;
}

}  // namespace qrx
