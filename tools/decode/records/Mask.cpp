#include "tools/decode/records/Mask.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>

#include "collect/CollectionPlan.h"
#include "platform/Utf8.h"

namespace qrx {

// The bytes of HMAC-SHA256(key, kind NUL value NUL counter), counter 0, 1, ... as needed.
class Masker::Stream {
  public:
    Stream(const Masker& masker, std::string_view kind, std::string_view value)
        : masker_(masker), message_(std::string(kind) + '\0' + std::string(value) + '\0') {}

    unsigned Byte() {
        if (pos_ == block_.size()) {
            block_ = masker_.hash_.HmacSha256(masker_.key_, message_ + std::to_string(counter_++));
            pos_ = 0;
        }
        return block_[pos_++];
    }
    // Uniform in [0, n) for 0 < n <= 256.
    unsigned Below(unsigned n) {
        const unsigned limit = 256 - 256 % n;
        for (;;) {
            const unsigned b = Byte();
            if (b < limit) {
                return b % n;
            }
        }
    }

  private:
    const Masker& masker_;
    std::string message_;
    Digest block_{};
    std::size_t pos_ = block_.size();
    unsigned counter_ = 0;
};

namespace {

bool HasLowerHex(std::string_view s) {
    for (char c : s) {
        if (c >= 'a' && c <= 'f') {
            return true;
        }
    }
    return false;
}

std::string Hex(unsigned v, bool lower) {
    const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    return {digits[(v >> 4) & 15], digits[v & 15]};
}

std::string_view Raw(const unsigned char* p, std::size_t n) {
    return {reinterpret_cast<const char*>(p), n};
}

struct V4Range {
    std::uint32_t net;
    int bits;
};
// Loopback, private, link-local, shared (carrier-grade NAT) and multicast: a pseudonym stays
// in the range of its address. "This network" and the reserved top are never chosen.
constexpr V4Range kKeptV4[] = {{0x7F000000, 8},  {0x0A000000, 8},  {0xAC100000, 12},
                               {0xC0A80000, 16}, {0xA9FE0000, 16}, {0x64400000, 10},
                               {0xE0000000, 4}};
constexpr V4Range kNeverV4[] = {{0x00000000, 8}, {0xF0000000, 4}};

// The MAC address inside a modified EUI-64 interface id (FFFE inserted, the universal/local bit
// flipped).
bool Eui64Mac(const unsigned char id[8], unsigned char mac[6]) {
    if (id[3] != 0xFF || id[4] != 0xFE) {
        return false;
    }
    const unsigned char m[6] = {
        static_cast<unsigned char>(id[0] ^ 0x02), id[1], id[2], id[5], id[6], id[7]};
    std::memcpy(mac, m, 6);
    return true;
}

bool In(std::uint32_t a, const V4Range& r) {
    const std::uint32_t mask = r.bits == 0 ? 0 : ~std::uint32_t{0} << (32 - r.bits);
    return (a & mask) == r.net;
}

}  // namespace

std::string Masker::RandomKey() {
    std::random_device random;
    std::string key;
    while (key.size() < 32) {
        const unsigned v = random();
        for (int i = 0; i < 4; ++i) {
            key.push_back(static_cast<char>(v >> (8 * i)));
        }
    }
    return key;
}

void Masker::MacBytes(const unsigned char in[6], unsigned char out[6]) const {
    Stream s(*this, "mac", Raw(in, 6));
    for (int k = 0; k < 6; ++k) {
        out[k] = static_cast<unsigned char>(s.Byte());
    }
    out[0] = static_cast<unsigned char>((out[0] & 0xFC) | 0x02);  // locally administered, unicast
}

std::string Masker::Mac(std::string_view mac) const {
    unsigned char b[6];
    if (!ParseMac(mac, b)) {
        return Text("text", mac);
    }
    const bool zero = b[0] == 0 && std::memcmp(b, b + 1, 5) == 0;
    const bool ones = b[0] == 0xFF && std::memcmp(b, b + 1, 5) == 0;
    if (zero || ones) {
        return std::string(mac);  // says nothing about anyone
    }
    MacBytes(b, b);
    const bool lower = HasLowerHex(mac);
    std::string out;
    for (int k = 0; k < 6; ++k) {
        if (k > 0 && mac.size() == 17) {
            out += mac[2];
        }
        out += Hex(b[k], lower);
    }
    return Noted(out, mac);
}

std::string Masker::Ip(std::string_view ip) const {
    // A prefix length stays: "192.168.10.23/24".
    if (const auto slash = ip.rfind('/');
        slash != std::string_view::npos && slash + 1 < ip.size() && slash + 4 >= ip.size() &&
        ip.find_first_not_of("0123456789", slash + 1) == std::string_view::npos) {
        return Ip(ip.substr(0, slash)) + std::string(ip.substr(slash));
    }
    const auto percent = ip.find('%');
    const std::string_view zone = percent == std::string_view::npos ? "" : ip.substr(percent);
    const std::string_view address = ip.substr(0, percent);
    unsigned char b[16];
    if (zone.empty() && ParseIpv4(address, b)) {
        return Ipv4(b, ip);
    }
    if (!ParseIpv6(address, b)) {
        return Text("text", ip);
    }
    return Ipv6(b, zone, ip);
}

std::string Masker::Ipv4(const unsigned char b[4], std::string_view ip) const {
    const std::uint32_t a = std::uint32_t{b[0]} << 24 | b[1] << 16 | b[2] << 8 | b[3];
    if (a == 0 || a == 0xFFFFFFFF) {
        return std::string(ip);
    }
    Stream s(*this, "ipv4", Raw(b, 4));
    const auto random32 = [&s] {
        std::uint32_t r = 0;
        for (int i = 0; i < 4; ++i) {
            r = r << 8 | s.Byte();
        }
        return r;
    };
    for (const auto& range : kKeptV4) {
        if (In(a, range)) {
            const std::uint32_t host = ~std::uint32_t{0} >> range.bits;
            return Noted(FormatV4(range.net | (random32() & host)), ip);
        }
    }
    for (;;) {
        const std::uint32_t r = random32();
        bool special = false;
        for (const auto& range : kKeptV4) {
            special = special || In(r, range);
        }
        for (const auto& range : kNeverV4) {
            special = special || In(r, range);
        }
        if (!special) {
            return Noted(FormatV4(r), ip);
        }
    }
}

std::string Masker::Ipv6(unsigned char b[16], std::string_view zone, std::string_view ip) const {
    static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(b, kMapped, 12) == 0) {
        const std::string v4 =
            Ip(FormatV4(std::uint32_t{b[12]} << 24 | b[13] << 16 | b[14] << 8 | b[15]));
        ParseIpv4(v4, b + 12);
        return FormatV6(b, true) + std::string(zone);
    }
    unsigned char original[16];
    std::memcpy(original, b, 16);
    bool zeroHead = true;
    for (int i = 0; i < 15; ++i) {
        zeroHead = zeroHead && b[i] == 0;
    }
    if (zeroHead && b[15] <= 1) {
        return std::string(ip);  // "::" and "::1"
    }
    // What stays: the link-local prefix (fe80::/64), the first byte of unique-local (fc00::/7)
    // and of multicast addresses with its flags and scope, the top three bits of the rest.
    int keepBytes = 0;
    unsigned keepMask = 0xE0;
    if (b[0] == 0xFE && (b[1] & 0xC0) == 0x80) {
        keepBytes = 8;
    } else if ((b[0] & 0xFE) == 0xFC) {
        keepBytes = 1;
    } else if (b[0] == 0xFF) {
        keepBytes = 2;
    }
    Stream s(*this, "ipv6", Raw(b, 16));
    for (int i = keepBytes; i < 16; ++i) {
        const unsigned r = s.Byte();
        b[i] = static_cast<unsigned char>(i == 0 ? (b[0] & keepMask) | (r & ~keepMask & 0xFF) : r);
    }
    if (unsigned char mac[6]; Eui64Mac(original + 8, mac)) {
        // An interface id made from a MAC address is made from the MAC's pseudonym.
        MacBytes(mac, mac);
        mac[0] ^= 0x02;
        const unsigned char id[8] = {mac[0], mac[1], mac[2], 0xFF, 0xFE, mac[3], mac[4], mac[5]};
        std::memcpy(b + 8, id, 8);
    }
    return Noted(FormatV6(b, false) + std::string(zone), ip);
}

std::string Masker::Uuid(std::string_view uuid) const {
    // Without dashes (a machine id): the pseudonym of the dashed form, without dashes, so that
    // it stays hexadecimal and both spellings agree.
    if (uuid.size() == 32 &&
        std::all_of(uuid.begin(), uuid.end(), [](char c) { return HexValue(c) >= 0; })) {
        std::string dashed(uuid);
        for (const std::size_t at : {20u, 16u, 12u, 8u}) {
            dashed.insert(at, 1, '-');
        }
        std::string out = Uuid(dashed);
        std::erase(out, '-');
        return out;
    }
    std::string_view core = uuid;
    if (core.size() == 38 && core.front() == '{' && core.back() == '}') {
        core = core.substr(1, 36);
    }
    bool shaped = core.size() == 36;
    std::string canonical;
    for (std::size_t i = 0; shaped && i < core.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        shaped = dash ? core[i] == '-' : HexValue(core[i]) >= 0;
        canonical += static_cast<char>(dash ? '-' : "0123456789ABCDEF"[HexValue(core[i]) & 15]);
    }
    if (!shaped) {
        return Text("text", uuid);
    }
    // Bluetooth's services are the base UUID with a 16- or 32-bit number: no one's.
    if (canonical.starts_with("0000") && canonical.substr(8) == "-0000-1000-8000-00805F9B34FB") {
        return std::string(uuid);
    }
    Stream s(*this, "uuid", canonical);
    const char* digits = HasLowerHex(core) ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string out(uuid);
    for (char& c : out) {
        if (c != '-' && c != '{' && c != '}') {
            c = digits[s.Byte() & 15];
        }
    }
    return Noted(out, uuid);
}

std::string Masker::Text(std::string_view kind, std::string_view text) const {
    Stream s(*this, kind, text);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= '0' && c <= '9') {
            out += static_cast<char>('0' + s.Below(10));
        } else if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>('A' + s.Below(26));
        } else if (c >= 'a' && c <= 'z') {
            out += static_cast<char>('a' + s.Below(26));
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            // Any other character becomes a katakana letter (U+30A2 to U+30F3).
            AppendUtf8(out, static_cast<char32_t>(0x30A2 + s.Below(82)));
            ++i;
            while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
                ++i;
            }
            continue;
        }
        ++i;
    }
    return Noted(out, text);
}

std::string Masker::Noted(std::string pseudonym, std::string_view original) const {
    if (map_ != nullptr && pseudonym != original) {
        map_->emplace(pseudonym, original);
    }
    return pseudonym;
}

std::string Masker::Value(std::string_view property, std::string_view value) const {
    return Words(MaskedValue(property, value));
}

std::string Masker::MaskedValue(std::string_view property, std::string_view value) const {
    if (value.empty()) {
        return {};
    }
    const PlannedProperty* planned = FindRecordedProperty(property);
    switch (planned ? planned->personal : Personal::None) {
        case Personal::Mac:
            return Mac(value);
        case Personal::Ip:
            return Ip(value);
        case Personal::Uuid:
            return Uuid(value);
        case Personal::HostName:
        case Personal::Serial:
            return Text("text", value);
        case Personal::DeviceId:
        case Personal::None:
            break;
    }
    std::string out(value);
    const bool deviceId = planned != nullptr && planned->personal == Personal::DeviceId;
    if (deviceId && (value.starts_with("USB\\") || value.starts_with("usb\\"))) {
        // The last part of a USB device's id is its serial number, unless Windows made one up
        // from the port (then it holds "&").
        const auto slash = out.rfind('\\');
        if (slash > 3 && out.find('&', slash) == std::string::npos) {
            out = out.substr(0, slash + 1) + Text("text", out.substr(slash + 1));
        }
    }
    return Inside(property, out);
}

std::string Masker::Record(std::string_view record) const {
    const auto tab = record.find('\t');
    if (tab == std::string_view::npos) {
        return std::string(record);
    }
    return std::string(record.substr(0, tab + 1)) +
           Value(record.substr(0, tab), record.substr(tab + 1));
}

}  // namespace qrx
