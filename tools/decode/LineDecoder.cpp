#include "tools/decode/LineDecoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "app/Collector.h"
#include "cipher/clsCipher.h"
#include "platform/Utf8.h"
#include "tools/decode/ByteScan.h"

namespace qrx {

namespace {

constexpr std::string_view kDashes = "----------";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Names found by exact match in an open-addressing table: one probe and one comparison for
// nearly every lookup.
class NameTable {
  public:
    explicit NameTable(const std::set<std::string, std::less<>>& names)
        : names_(names.begin(), names.end()) {
        while ((std::size_t{1} << bits_) < 4 * names_.size()) {
            ++bits_;
        }
        slots_.assign(std::size_t{1} << bits_, 0);
        for (std::size_t i = 0; i < names_.size(); ++i) {
            std::size_t at = Slot(names_[i]);
            while (slots_[at] != 0) {
                at = (at + 1) & (slots_.size() - 1);
            }
            slots_[at] = static_cast<std::uint32_t>(i + 1);
        }
    }

    bool Contains(std::string_view name) const {
        for (std::size_t at = Slot(name); slots_[at] != 0; at = (at + 1) & (slots_.size() - 1)) {
            if (names_[slots_[at] - 1] == name) {
                return true;
            }
        }
        return false;
    }

  private:
    // The length and the first, middle and last characters.
    std::size_t Slot(std::string_view s) const {
        std::uint32_t h = static_cast<std::uint32_t>(s.size());
        if (!s.empty()) {
            h = h * 31 + static_cast<unsigned char>(s.front());
            h = h * 31 + static_cast<unsigned char>(s[s.size() / 2]);
            h = h * 31 + static_cast<unsigned char>(s.back());
        }
        return (h * 0x9E3779B1u) >> (32 - bits_);
    }

    std::vector<std::string> names_;
    std::vector<std::uint32_t> slots_;  // 1 + the index of a name; 0 for a free slot
    int bits_ = 4;
};

// The classes the program queries and the properties it records, from its run plan and its
// category commands.
struct KnownNames {
    NameTable classes;
    NameTable properties;
    KnownNames() : KnownNames(Collect()) {}

  private:
    using Sets = std::pair<std::set<std::string, std::less<>>, std::set<std::string, std::less<>>>;
    explicit KnownNames(const Sets& sets) : classes(sets.first), properties(sets.second) {}
    static Sets Collect() {
        Sets sets;
        auto add = [&sets](const CollectionStep& step) {
            sets.first.insert(step.className);
            sets.second.insert(step.properties.begin(), step.properties.end());
        };
        for (const auto& step : Collector::RunPlan()) {
            add(step);
        }
        for (ButtonId id : {ButtonId::cmdNIC, ButtonId::cmdCPU, ButtonId::cmdOS, ButtonId::cmdMB,
                            ButtonId::cmdUUID}) {
            add(Collector::CategoryStep(id));
        }
        return sets;
    }
};

const KnownNames& Names() {
    static const KnownNames names;
    return names;
}

// A control character other than TAB: C0, DEL or C1 (U+0080 to U+009F).
bool HasControl(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7F ||
            (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
            return true;
        }
    }
    return false;
}

std::string FailureText(const CipherFailure& f) {
    std::string text =
        "Number:=" + std::to_string(f.number) + ", Source:=" + f.step + ", Description:=" + f.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

void Fail(DecodedLine& out, std::string reason) {
    out.kind = DecodedLine::Kind::Failed;
    out.text.clear();
    out.reason = std::move(reason);
}

}  // namespace

std::string_view ClassOfHeader(std::string_view record) {
    if (record.size() <= 2 * kDashes.size() || !record.starts_with(kDashes) ||
        !record.ends_with(kDashes)) {
        return {};
    }
    const std::string_view name = record.substr(10, record.size() - 20);
    return Names().classes.Contains(name) ? name : std::string_view();
}

bool IsRecordText(std::string_view text) {
    if (!ClassOfHeader(text).empty()) {
        return true;
    }
    const auto tab = text.find('\t');
    return tab != std::string_view::npos && Names().properties.Contains(text.substr(0, tab));
}

LineDecoder::LineDecoder(ICryptoProvider& crypto, ITextCodec& codec)
    : codec_(codec),
      engine_(crypto, [&crypto](std::uint32_t code) { return crypto.SystemMessage(code, 0x0400); }),
      decryptor_(engine_) {
    Bytes key;
    openFailure_ = TextToShiftJis(codec_, clsCipher::KeyText(), key);
    if (!openFailure_) {
        openFailure_ = TextToShiftJis(codec_, clsCipher::IvText(), iv_);
    }
    if (!openFailure_) {
        openFailure_ = decryptor_.Open(key);
    }
}

void LineDecoder::DecodeCipher(std::string_view base64, DecodedLine& out) {
    if (openFailure_) {
        return Fail(out, "復号できません: " + FailureText(*openFailure_));
    }
    std::size_t decoded = 0;
    if (MaybeFailure f = Base64ToBuffer(codec_, base64, buffer_, decoded)) {
        return Fail(out, "Base64 ではありません: " + f->text);
    }
    auto size = static_cast<std::uint32_t>(decoded);
    if (MaybeFailure f = decryptor_.Decrypt(iv_, buffer_.data(), size)) {
        return Fail(out, "復号できません: " + FailureText(*f));
    }
    // ASCII is the same in code page 932: only what follows the first other byte, which begins
    // a character, goes through the converter.
    const auto* plain = buffer_.data();
    const std::size_t ascii = bytescan::AsciiPrefix(plain, size);
    out.text.assign(reinterpret_cast<const char*>(plain), ascii);
    if (ascii < size) {
        data_.assign(plain + ascii, plain + size);
        if (MaybeFailure f = ShiftJisToText(codec_, data_, converted_)) {
            return Fail(out, "文字コードを変換できません: " + FailureText(*f));
        }
        if (converted_.find(kReplacement) != std::string::npos) {
            // Code page 932 has no U+FFFD: the converter put it for bytes that are not text.
            return Fail(out, "復号結果がコードページ 932 の文字列ではありません");
        }
        out.text += converted_;
    }
    if (!IsRecordText(out.text)) {
        return Fail(out, "復号結果がレコードの形をしていません");
    }
    out.kind = DecodedLine::Kind::Record;
    out.reason.clear();
}

void LineDecoder::DecodePlain(std::string_view line, DecodedLine& out) {
    // The program wrote the record itself when its encryption failed, in the system's narrow
    // code page: UTF-8 on Linux, code page 932 on a Japanese Windows.
    if (IsValidUtf8(line)) {
        out.text.assign(line);
    } else {
        const Bytes bytes(line.begin(), line.end());
        if (ShiftJisToText(codec_, bytes, out.text) ||
            out.text.find(kReplacement) != std::string::npos) {
            return Fail(out, "暗号化されておらず、UTF-8 でもコードページ 932 でもありません");
        }
    }
    if (HasControl(out.text) || !IsRecordText(out.text)) {
        return Fail(out, "暗号化されておらず、レコードの形もしていません");
    }
    out.kind = DecodedLine::Kind::Unencrypted;
    out.reason.clear();
}

DecodedLine LineDecoder::Decode(std::string_view line) {
    const bool base64 = !line.empty() && std::all_of(line.begin(), line.end(), [](char c) {
        return IsBase64Char(static_cast<unsigned char>(c));
    });
    DecodedLine d;
    if (base64) {
        DecodeCipher(line, d);
    } else {
        DecodePlain(line, d);
    }
    return d;
}

}  // namespace qrx
