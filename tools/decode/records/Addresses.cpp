#include "tools/decode/records/Addresses.h"

#include <cstring>
#include <string>

namespace qrx {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string FormatV4(std::uint32_t a) {
    return std::to_string(a >> 24) + '.' + std::to_string((a >> 16) & 255) + '.' +
           std::to_string((a >> 8) & 255) + '.' + std::to_string(a & 255);
}

std::string FormatV6(const unsigned char b[16], bool dottedTail) {
    int groups[8];
    for (int i = 0; i < 8; ++i) {
        groups[i] = b[2 * i] << 8 | b[2 * i + 1];
    }
    const int count = dottedTail ? 6 : 8;
    int bestStart = -1;
    int bestLen = 1;
    for (int i = 0; i < count;) {
        int j = i;
        while (j < count && groups[j] == 0) {
            ++j;
        }
        if (j - i > bestLen) {
            bestStart = i;
            bestLen = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i == bestStart) {
            out += "::";
            i += bestLen - 1;
            continue;
        }
        if (!out.empty() && !out.ends_with(':')) {
            out += ':';
        }
        static const char* digits = "0123456789abcdef";
        std::string g;
        for (int v = groups[i]; v > 0 || g.empty(); v >>= 4) {
            g.insert(g.begin(), digits[v & 15]);
        }
        out += g;
    }
    if (dottedTail) {
        if (!out.ends_with(':')) {
            out += ':';
        }
        out += std::to_string(b[12]) + '.' + std::to_string(b[13]) + '.' + std::to_string(b[14]) +
               '.' + std::to_string(b[15]);
    }
    return out;
}

bool ParseIpv4(std::string_view text, unsigned char out[4]) {
    int part = 0;
    std::size_t i = 0;
    for (; part < 4; ++part) {
        std::size_t digits = 0;
        unsigned value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[i - digits] == '0')) {
            return false;
        }
        out[part] = static_cast<unsigned char>(value);
        if (part < 3) {
            if (i >= text.size() || text[i] != '.') {
                return false;
            }
            ++i;
        }
    }
    return i == text.size();
}

bool ParseIpv6(std::string_view text, unsigned char out[16]) {
    const auto gap = text.find("::");
    if (gap != std::string_view::npos && text.find("::", gap + 1) != std::string_view::npos) {
        return false;
    }
    // Parses the colon-separated groups of one side into bytes; an IPv4 tail counts as two.
    const auto side = [](std::string_view s, bool last, unsigned char* bytes, int& n) {
        n = 0;
        if (s.empty()) {
            return true;
        }
        std::size_t start = 0;
        for (;;) {
            const auto colon = s.find(':', start);
            const std::string_view g = s.substr(start, colon - start);
            if (colon == std::string_view::npos && last && g.find('.') != std::string_view::npos) {
                if (n > 12 || !ParseIpv4(g, bytes + n)) {
                    return false;
                }
                n += 4;
                return true;
            }
            if (g.empty() || g.size() > 4 || n >= 16) {
                return false;
            }
            unsigned v = 0;
            for (char c : g) {
                const int h = HexValue(c);
                if (h < 0) {
                    return false;
                }
                v = v << 4 | static_cast<unsigned>(h);
            }
            bytes[n++] = static_cast<unsigned char>(v >> 8);
            bytes[n++] = static_cast<unsigned char>(v);
            if (colon == std::string_view::npos) {
                return true;
            }
            start = colon + 1;
        }
    };
    unsigned char head[20] = {};
    unsigned char tail[20] = {};
    int nh = 0;
    int nt = 0;
    if (gap == std::string_view::npos) {
        if (!side(text, true, head, nh) || nh != 16) {
            return false;
        }
        std::memcpy(out, head, 16);
        return true;
    }
    if (!side(text.substr(0, gap), false, head, nh) ||
        !side(text.substr(gap + 2), true, tail, nt) || nh + nt > 14) {
        return false;
    }
    std::memset(out, 0, 16);
    std::memcpy(out, head, static_cast<std::size_t>(nh));
    std::memcpy(out + 16 - nt, tail, static_cast<std::size_t>(nt));
    return true;
}

bool ParseMac(std::string_view text, unsigned char out[6]) {
    std::size_t step = 0;
    if (text.size() == 17 && (text[2] == ':' || text[2] == '-')) {
        step = 3;
    } else if (text.size() == 12) {
        step = 2;
    } else {
        return false;
    }
    for (std::size_t k = 0; k < 6; ++k) {
        const std::size_t i = k * step;
        const int hi = HexValue(text[i]);
        const int lo = HexValue(text[i + 1]);
        if (hi < 0 || lo < 0 || (step == 3 && k < 5 && text[i + 2] != text[2])) {
            return false;
        }
        out[k] = static_cast<unsigned char>(hi << 4 | lo);
    }
    return true;
}

}  // namespace qrx
