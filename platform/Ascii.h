#pragma once

#include <string>
#include <string_view>

namespace qrx {

// Case changes of the ASCII letters only; every other byte, UTF-8 included, stays as it is.
inline char LowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = LowerChar(c);
    }
    return out;
}

inline std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return out;
}

// Orders names as the management instrumentation compares them: without regard to ASCII case.
struct NoCaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        const std::size_t n = a.size() < b.size() ? a.size() : b.size();
        for (std::size_t i = 0; i < n; ++i) {
            const char x = LowerChar(a[i]);
            const char y = LowerChar(b[i]);
            if (x != y) {
                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
            }
        }
        return a.size() < b.size();
    }
};

}  // namespace qrx
