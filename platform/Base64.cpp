#include "platform/Base64.h"

#include <array>

#include "platform/AppError.h"

namespace qrx {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::uint8_t kSkip = 0xFE;
constexpr std::uint8_t kBad = 0xFF;
constexpr std::uint8_t kPad = 0xFD;

constexpr std::array<std::uint8_t, 256> MakeTable() {
    std::array<std::uint8_t, 256> t{};
    for (auto& v : t) {
        v = kBad;
    }
    for (int i = 0; i < 64; ++i) {
        t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    }
    t['\r'] = t['\n'] = t['\t'] = t[' '] = kSkip;
    t['='] = kPad;
    return t;
}

constexpr auto kTable = MakeTable();

[[noreturn]] void Reject(const char* why) {
    throw AppError(ToSigned(0x80070057), "Base64", why);
}

}  // namespace

std::string Base64Encode(const Bytes& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (const std::size_t rest = bytes.size() - i; rest > 0) {
        const std::uint32_t v = (bytes[i] << 16) | (rest == 2 ? bytes[i + 1] << 8 : 0);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

Bytes Base64Decode(std::string_view text) {
    Bytes out(text.size() / 4 * 3 + 3);
    std::size_t at = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    // Whole quanta of four alphabet symbols, the common case, four at a time.
    while (i + 4 <= n) {
        const std::uint8_t a = kTable[p[i]];
        const std::uint8_t b = kTable[p[i + 1]];
        const std::uint8_t c = kTable[p[i + 2]];
        const std::uint8_t d = kTable[p[i + 3]];
        if ((a | b | c | d) >= 64) {
            break;
        }
        const std::uint32_t v = (a << 18) | (b << 12) | (c << 6) | d;
        out[at] = static_cast<std::uint8_t>(v >> 16);
        out[at + 1] = static_cast<std::uint8_t>(v >> 8);
        out[at + 2] = static_cast<std::uint8_t>(v);
        at += 3;
        i += 4;
    }
    // The rest symbol by symbol: whitespace, padding and errors.
    std::uint32_t acc = 0;
    int count = 0;    // symbols in the current quantum
    int padding = 0;  // "=" seen so far
    for (; i < n; ++i) {
        const std::uint8_t v = kTable[p[i]];
        if (v == kSkip) {
            continue;
        }
        if (v == kBad) {
            Reject("Base64 として不正な文字があります。");
        }
        if (v == kPad) {
            // Only the last one or two symbols of the final quantum may be padding.
            if (count < 2) {
                Reject("Base64 の \"=\" の位置が不正です。");
            }
            ++padding;
            ++count;
        } else {
            if (padding > 0) {
                Reject("Base64 の \"=\" の後に文字があります。");
            }
            acc = (acc << 6) | v;
            ++count;
        }
        if (count == 4) {
            if (at + 3 > out.size()) {
                out.resize(at + 3);
            }
            if (padding == 0) {
                out[at++] = static_cast<std::uint8_t>(acc >> 16);
                out[at++] = static_cast<std::uint8_t>(acc >> 8);
                out[at++] = static_cast<std::uint8_t>(acc);
            } else if (padding == 1) {
                out[at++] = static_cast<std::uint8_t>(acc >> 10);
                out[at++] = static_cast<std::uint8_t>(acc >> 2);
            } else {
                out[at++] = static_cast<std::uint8_t>(acc >> 4);
            }
            acc = 0;
            count = 0;
            if (padding > 0) {
                padding = 3;  // anything after the padded quantum is rejected
            }
        }
    }
    if (count != 0) {
        Reject("Base64 の長さが不正です。");
    }
    out.resize(at);
    return out;
}

std::string ITextCodec::Base64Encode(const Bytes& bytes) {
    return qrx::Base64Encode(bytes);
}

Bytes ITextCodec::Base64Decode(const std::string& text) {
    return qrx::Base64Decode(text);
}

}  // namespace qrx
