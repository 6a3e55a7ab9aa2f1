#include "platform/Utf8.h"

namespace qrx {

Utf8Char DecodeUtf8(std::string_view text, std::size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + at;
    const std::size_t left = text.size() - at;
    const unsigned char c = p[0];
    if (c < 0x80) {
        return {c, 1, true};
    }
    std::size_t need = 0;
    char32_t code = 0;
    // The allowed range of the second byte narrows for E0, ED, F0 and F4, which rules out
    // overlong forms, surrogates and code points above U+10FFFF at the first wrong byte.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        code = c & 0x0F;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        code = c & 0x07;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {U'\uFFFD', 1, false};
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (k >= left || p[k] < low || p[k] > high) {
            return {U'\uFFFD', k, false};
        }
        code = (code << 6) | (p[k] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {code, need + 1, true};
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const Utf8Char ch = DecodeUtf8(text, i);
        if (!ch.valid) {
            return false;
        }
        i += ch.length;
    }
    return true;
}

std::string SanitizeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char ch = DecodeUtf8(text, i);
        if (ch.valid) {
            out.append(text, i, ch.length);
        } else {
            out += "\xEF\xBF\xBD";
        }
        i += ch.length;
    }
    return out;
}

std::size_t Utf16Length(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char ch = DecodeUtf8(text, i);
        n += ch.code > 0xFFFF ? 2 : 1;
        i += ch.length;
    }
    return n;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string CutUtf8(std::string text, std::size_t limit) {
    if (text.size() > limit) {
        std::size_t end = limit;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            --end;  // a continuation byte: the character began before
        }
        text.resize(end);
    }
    return text;
}

}  // namespace qrx
