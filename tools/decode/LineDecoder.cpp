#include "tools/decode/LineDecoder.h"

#include <algorithm>
#include <array>
#include <set>

#include "app/Collector.h"
#include "cipher/clsCipher.h"
#include "platform/Utf8.h"

namespace qrx {

namespace {

constexpr std::string_view kDashes = "----------";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The classes the program queries and the properties it records, from its run plan and its
// category commands.
struct KnownNames {
    std::set<std::string, std::less<>> classes;
    std::set<std::string, std::less<>> properties;
    KnownNames() {
        auto add = [this](const CollectionStep& step) {
            classes.insert(step.className);
            properties.insert(step.properties.begin(), step.properties.end());
        };
        for (const auto& step : Collector::RunPlan()) {
            add(step);
        }
        for (ButtonId id : {ButtonId::cmdNIC, ButtonId::cmdCPU, ButtonId::cmdOS, ButtonId::cmdMB,
                            ButtonId::cmdUUID}) {
            add(Collector::CategoryStep(id));
        }
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

bool IsAscii(const Bytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b < 0x80; });
}

std::string FailureText(const CipherFailure& f) {
    std::string text =
        "Number:=" + std::to_string(f.number) + ", Source:=" + f.step + ", Description:=" + f.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

DecodedLine Fail(std::string reason) {
    DecodedLine d;
    d.reason = std::move(reason);
    return d;
}

}  // namespace

std::string_view ClassOfHeader(std::string_view record) {
    if (record.size() <= 2 * kDashes.size() || !record.starts_with(kDashes) ||
        !record.ends_with(kDashes)) {
        return {};
    }
    const std::string_view name = record.substr(10, record.size() - 20);
    return Names().classes.contains(name) ? name : std::string_view();
}

bool IsRecordText(std::string_view text) {
    if (!ClassOfHeader(text).empty()) {
        return true;
    }
    const auto tab = text.find('\t');
    return tab != std::string_view::npos && Names().properties.contains(text.substr(0, tab));
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

DecodedLine LineDecoder::DecodeCipher(const std::string& base64) {
    if (openFailure_) {
        return Fail("復号できません: " + FailureText(*openFailure_));
    }
    if (MaybeFailure f = Base64ToBytes(codec_, base64, data_)) {
        return Fail("Base64 ではありません: " + f->text);
    }
    auto size = static_cast<std::uint32_t>(data_.size());
    if (MaybeFailure f = decryptor_.Decrypt(iv_, data_.data(), size)) {
        return Fail("復号できません: " + FailureText(*f));
    }
    data_.resize(size);
    DecodedLine d;
    if (IsAscii(data_)) {
        d.text.assign(data_.begin(), data_.end());
    } else if (MaybeFailure f = ShiftJisToText(codec_, data_, d.text)) {
        return Fail("文字コードを変換できません: " + FailureText(*f));
    } else if (d.text.find(kReplacement) != std::string::npos) {
        // Code page 932 has no U+FFFD: the converter put it for bytes that are not text.
        return Fail("復号結果がコードページ 932 の文字列ではありません");
    }
    if (!IsRecordText(d.text)) {
        return Fail("復号結果がレコードの形をしていません");
    }
    d.kind = DecodedLine::Kind::Record;
    return d;
}

DecodedLine LineDecoder::DecodePlain(std::string_view line) {
    // The program wrote the record itself when its encryption failed, in the system's narrow
    // code page: UTF-8 on Linux, code page 932 on a Japanese Windows.
    DecodedLine d;
    if (IsValidUtf8(line)) {
        d.text.assign(line);
    } else {
        const Bytes bytes(line.begin(), line.end());
        if (ShiftJisToText(codec_, bytes, d.text) ||
            d.text.find(kReplacement) != std::string::npos) {
            return Fail("暗号化されておらず、UTF-8 でもコードページ 932 でもありません");
        }
    }
    if (HasControl(d.text) || !IsRecordText(d.text)) {
        return Fail("暗号化されておらず、レコードの形もしていません");
    }
    d.kind = DecodedLine::Kind::Unencrypted;
    return d;
}

DecodedLine LineDecoder::Decode(std::string_view line) {
    const bool base64 = !line.empty() && std::all_of(line.begin(), line.end(), [](char c) {
        return IsBase64Char(static_cast<unsigned char>(c));
    });
    return base64 ? DecodeCipher(std::string(line)) : DecodePlain(line);
}

}  // namespace qrx
