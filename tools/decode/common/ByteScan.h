#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qrx::bytescan {

// Tests over eight bytes at a time, read as one 64-bit word in either byte order. Each answers
// whether any of the eight bytes qualifies; where one does, the caller looks at them one by one.

inline constexpr std::size_t kWord = 8;
inline constexpr std::uint64_t kOnes = 0x0101010101010101u;
inline constexpr std::uint64_t kHighs = 0x8080808080808080u;

inline std::uint64_t Load(const void* p) {
    std::uint64_t w;
    std::memcpy(&w, p, kWord);
    return w;
}

// Each of these sets the high bit of a byte that qualifies, or of one after it: the result is
// nonzero exactly when some byte qualifies, and results can be combined with "|".

// A byte below n (n at most 0x80).
inline std::uint64_t Below(std::uint64_t w, std::uint8_t n) {
    return (w - kOnes * n) & ~w & kHighs;
}

// A byte strictly between m and n (m at most 0x7F, n at most 0x80).
inline std::uint64_t Between(std::uint64_t w, std::uint8_t m, std::uint8_t n) {
    const std::uint64_t low = w & (kOnes * 0x7F);
    return (kOnes * (0x7F + n) - low) & ~w & (low + kOnes * (0x7F - m)) & kHighs;
}

// A byte equal to b.
inline std::uint64_t Equal(std::uint64_t w, std::uint8_t b) {
    return Below(w ^ (kOnes * b), 1);
}

// A byte outside the printable ASCII characters 0x20 to 0x7E.
inline std::uint64_t NotPrintable(std::uint64_t w) {
    const std::uint64_t low = w & (kOnes * 0x7F);
    return ((low + kOnes) | w | ~(low + kOnes * 0x60)) & kHighs;
}

// How many bytes at p, of n, come before the first one that is not ASCII (n when all are).
inline std::size_t AsciiPrefix(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    while (i + kWord <= n && (Load(p + i) & kHighs) == 0) {
        i += kWord;
    }
    while (i < n && p[i] < 0x80) {
        ++i;
    }
    return i;
}

}  // namespace qrx::bytescan
