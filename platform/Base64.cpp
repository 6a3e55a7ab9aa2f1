#include "platform/Base64.h"

#include <array>
#include <bit>
#include <cstring>

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

// A symbol's bits already placed where they land in the three bytes of its quantum, as a
// 32-bit word that is stored whole: the three bytes in memory order, then a fourth that is
// overwritten by the next quantum. A symbol outside the alphabet sets that fourth byte.
constexpr int ShiftOfByte(int index) {
    return std::endian::native == std::endian::little ? 8 * index : 24 - 8 * index;
}

constexpr std::uint32_t kBadSymbol = std::uint32_t{0xFF} << ShiftOfByte(3);

// Symbol `position` (0 to 3) of a quantum holds bits 23 - 6 * position down to 18 - 6 * position
// of the 24 bits that are bytes 0, 1 and 2.
constexpr std::array<std::uint32_t, 256> MakePlaced(int position) {
    std::array<std::uint32_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        if (kTable[c] >= 64) {
            t[c] = kBadSymbol;
            continue;
        }
        const std::uint32_t bits = std::uint32_t{kTable[c]} << (18 - 6 * position);
        std::uint32_t placed = 0;
        for (int b = 0; b < 3; ++b) {
            placed |= ((bits >> (16 - 8 * b)) & 0xFF) << ShiftOfByte(b);
        }
        t[c] = placed;
    }
    return t;
}

constexpr std::array<std::array<std::uint32_t, 256>, 4> kPlaced = {MakePlaced(0), MakePlaced(1),
                                                                   MakePlaced(2), MakePlaced(3)};

std::uint32_t Quantum(const unsigned char* p) {
    return kPlaced[0][p[0]] | kPlaced[1][p[1]] | kPlaced[2][p[2]] | kPlaced[3][p[3]];
}

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

std::size_t Base64Decode(std::string_view text, Bytes& out) {
    if (const std::size_t most = text.size() / 4 * 3 + 3; out.size() < most) {
        out.resize(most);
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    // Whole quanta of four alphabet symbols, the common case, two and then one at a time. Each
    // quantum stores four bytes, the last of which the next one overwrites or the end cuts off.
    std::uint8_t* o = out.data();
    for (; i + 8 <= n; i += 8, o += 6) {
        const std::uint32_t v = Quantum(p + i);
        const std::uint32_t w = Quantum(p + i + 4);
        if (((v | w) & kBadSymbol) != 0) {
            break;
        }
        std::memcpy(o, &v, 4);
        std::memcpy(o + 3, &w, 4);
    }
    for (; i + 4 <= n; i += 4, o += 3) {
        const std::uint32_t v = Quantum(p + i);
        if ((v & kBadSymbol) != 0) {
            break;
        }
        std::memcpy(o, &v, 4);
    }
    // A final padded quantum ("xx==" or "xxx=") of alphabet symbols.
    if (n - i == 4 && p[i + 3] == '=') {
        const bool two = p[i + 2] == '=';
        const std::uint32_t v =
            kPlaced[0][p[i]] | kPlaced[1][p[i + 1]] | (two ? 0 : kPlaced[2][p[i + 2]]);
        if ((v & kBadSymbol) == 0) {
            std::memcpy(o, &v, 4);
            o += two ? 1 : 2;
            i = n;
        }
    }
    auto at = static_cast<std::size_t>(o - out.data());
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
    return at;
}

Bytes Base64Decode(std::string_view text) {
    Bytes out;
    out.resize(Base64Decode(text, out));
    return out;
}

std::string ITextCodec::Base64Encode(const Bytes& bytes) {
    return qrx::Base64Encode(bytes);
}

Bytes ITextCodec::Base64Decode(const std::string& text) {
    return qrx::Base64Decode(text);
}

std::size_t ITextCodec::Base64Decode(std::string_view text, Bytes& buffer) {
    return qrx::Base64Decode(text, buffer);
}

}  // namespace qrx
