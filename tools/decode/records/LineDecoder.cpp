#include "tools/decode/records/LineDecoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "cipher/clsCipher.h"
#include "collect/CollectionPlan.h"
#include "platform/Utf8.h"
#include "tools/decode/common/ByteScan.h"
#include "tools/decode/common/Escape.h"

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

// The classes the program queries and the properties it records, from the collection plan.
struct KnownNames {
    NameTable classes;
    NameTable properties;
    KnownNames() : KnownNames(Collect()) {}

  private:
    using Sets = std::pair<std::set<std::string, std::less<>>, std::set<std::string, std::less<>>>;
    explicit KnownNames(const Sets& sets) : classes(sets.first), properties(sets.second) {}
    static Sets Collect() {
        Sets sets;
        for (const auto& c : CollectionPlan()) {
            sets.first.emplace(c.name);
            for (const auto& p : c.properties) {
                if (p.recorded()) {
                    sets.second.emplace(p.name);
                }
            }
        }
        return sets;
    }
};

const KnownNames& Names() {
    static const KnownNames names;
    return names;
}

// The name between the dashes of a text shaped as a class header, or empty.
std::string_view HeaderName(std::string_view record) {
    if (record.size() <= 2 * kDashes.size() || !record.starts_with(kDashes) ||
        !record.ends_with(kDashes) || record.find('\t') != std::string_view::npos) {
        return {};
    }
    return record.substr(10, record.size() - 20);
}

// A failure of the cipher in the desk's words, its number at the end for the engineer.
std::string FailureText(const CipherFailure& f) {
    const auto code = static_cast<std::uint32_t>(f.number);
    std::string text;
    if (code == ICryptoProvider::kNteBadData) {
        // What a wrong key gives: the padding of the last block does not come out.
        text =
            "鍵が合いません。ほかの鍵で暗号化されたか、このプログラムのデータファイルではありませ"
            "ん";
    } else if (code == ICryptoProvider::kNteBadLen) {
        text = "暗号文の長さが合いません。行の一部が欠けています";
    } else {
        text = f.text;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        text += text.empty() ? f.step : " / " + f.step;
    }
    return text + " (" + std::to_string(f.number) + ")";
}

void Fail(DecodedLine& out, std::string reason) {
    out.kind = DecodedLine::Kind::Failed;
    out.text.clear();
    out.reason = std::move(reason);
    out.unknownClass.clear();
    out.unknown = false;
}

bool IsName(std::string_view name) {
    const auto letter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    return !name.empty() && name.size() <= kMaxNameBytes && letter(name.front()) &&
           std::all_of(name.begin(), name.end(),
                       [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

// Takes a decrypted text as a record when it has the shape of one, known or not.
bool Accept(DecodedLine& out) {
    const RecordShape shape = ShapeOfRecord(out.text);
    if (shape == RecordShape::None) {
        return false;
    }
    out.kind = DecodedLine::Kind::Record;
    out.reason.clear();
    out.unknownClass.clear();
    out.unknown = shape == RecordShape::Unknown;
    return true;
}

// A text that is no record; when it is the header of a class the program does not write, the
// reason says so and the class is kept.
void FailShape(DecodedLine& out, const char* reason) {
    const std::string_view name = HeaderName(out.text);
    if (name.empty()) {
        return Fail(out, reason);
    }
    std::string unknown(name);
    Fail(out, "プログラムが書かないクラスの見出しです: " + unknown);
    out.unknownClass = std::move(unknown);
}

}  // namespace

bool IsRecordText(std::string_view text) {
    return ShapeOfRecord(text) == RecordShape::Known;
}

RecordShape ShapeOfRecord(std::string_view text) {
    const auto tab = text.find('\t');
    const std::string_view name =
        tab == std::string_view::npos ? HeaderName(text) : text.substr(0, tab);
    if (name.empty()) {
        return RecordShape::None;
    }
    if (tab == std::string_view::npos ? Names().classes.Contains(name)
                                      : Names().properties.Contains(name)) {
        return RecordShape::Known;
    }
    // A property that the plan queries but does not record is no newer program's.
    const auto& plan = CollectionPlan();
    const bool queried = tab != std::string_view::npos &&
                         std::any_of(plan.begin(), plan.end(), [&](const PlannedClass& c) {
                             return c.Find(name) != nullptr;
                         });
    return !queried && IsName(name) ? RecordShape::Unknown : RecordShape::None;
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
    if (!Accept(out)) {
        return FailShape(out, "復号結果がレコードの形をしていません");
    }
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
    if (HasControl(out.text)) {
        return Fail(out, "暗号化されておらず、レコードの形もしていません");
    }
    // Only what decrypts is taken as a newer program's: a plain line of an unknown name is
    // anyone's text.
    if (!IsRecordText(out.text)) {
        return FailShape(out, "暗号化されておらず、レコードの形もしていません");
    }
    out.kind = DecodedLine::Kind::Unencrypted;
    out.reason.clear();
    out.unknownClass.clear();
    out.unknown = false;
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
