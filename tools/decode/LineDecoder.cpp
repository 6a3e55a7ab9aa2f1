#include "tools/decode/LineDecoder.h"

#include <cstring>

namespace qrx {

namespace {

bool IsUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0, n = s.size(); i < n;) {
        const unsigned char c = p[i];
        const std::size_t len = c < 0x80         ? 1
                                : (c >> 5) == 6  ? 2
                                : (c >> 4) == 14 ? 3
                                : (c >> 3) == 30 ? 4
                                                 : 0;
        if (len == 0 || i + len > n) {
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                return false;
            }
        }
        i += len;
    }
    return true;
}

}  // namespace

bool LooksLikeRecord(std::string_view line) {
    return line.find('\t') != std::string_view::npos || line.starts_with("----------");
}

LineDecoder::LineDecoder(ICryptoProvider& crypto, ITextCodec& codec)
    : codec_(codec), cipher_(crypto, codec, capture_) {
    key_ = cipher_.stringToByte(clsCipher::KeyText());
    iv_ = cipher_.stringToByte(clsCipher::IvText());
}

DecodedLine LineDecoder::Decode(std::string_view line) {
    DecodedLine out;
    if (LooksLikeRecord(line)) {
        // The program wrote the record itself when its encryption failed, in the system's
        // narrow code page: UTF-8 on Linux, code page 932 on a Japanese Windows.
        out.kind = DecodedLine::Kind::Unencrypted;
        out.text =
            IsUtf8(line) ? std::string(line) : codec_.FromShiftJis(Bytes(line.begin(), line.end()));
        return out;
    }
    Bytes data;
    try {
        data = cipher_.decode(std::string(line));
    } catch (const AppError& e) {
        out.reason = "Base64 ではありません: " + e.Description;
        return out;
    }
    capture_.last.clear();
    if (!cipher_.decrypt(key_, iv_, data, 128)) {
        out.reason = "復号できません: " + capture_.last;
        while (!out.reason.empty() && (out.reason.back() == '\n' || out.reason.back() == '\r')) {
            out.reason.pop_back();
        }
        return out;
    }
    out.text = cipher_.byteToString(data);
    if (!capture_.last.empty()) {
        out.reason = "文字コードを変換できません: " + capture_.last;
        return out;
    }
    out.kind = DecodedLine::Kind::Record;
    return out;
}

}  // namespace qrx
