// What the masking finds inside values that are not themselves personal: what the file told it
// (Learn, LearnInside), addresses and UUIDs by their form, MAC addresses in every notation,
// user names in profile paths and product keys.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "collect/CollectionPlan.h"
#include "tools/decode/records/Mask.h"

namespace qrx {

namespace {

bool Alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsHex(char c) {
    return HexValue(c) >= 0;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool EndsWord(std::string_view s, std::size_t end) {
    return end == s.size() || !Alnum(s[end]);
}

// The length of the run from `at` of characters that `in` accepts, counted up to `most`: the
// runs that may hold an address are looked at from every word's start, and a hostile value of
// "1.1.1.1.…" must not make that quadratic.
template <typename In>
std::size_t Run(std::string_view s, std::size_t at, In in, std::size_t most = 64) {
    std::size_t n = 0;
    while (at + n < s.size() && n < most && in(s[at + n])) {
        ++n;
    }
    return n;
}

// The length of a UUID at `at`: 36 dashed or 32 hexadecimal digits; 0 when none.
std::size_t UuidAt(std::string_view s, std::size_t at) {
    if (at + 36 <= s.size()) {
        bool shaped = true;
        for (std::size_t i = 0; shaped && i < 36; ++i) {
            const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
            shaped = dash ? s[at + i] == '-' : IsHex(s[at + i]);
        }
        if (shaped) {
            return 36;
        }
    }
    return Run(s, at, IsHex) == 32 ? 32 : 0;
}

// A product key: five groups of five letters and digits.
bool ProductKeyAt(std::string_view s, std::size_t at) {
    if (at + 29 > s.size() || !EndsWord(s, at + 29) || (at + 29 < s.size() && s[at + 29] == '-')) {
        return false;
    }
    for (std::size_t k = 0; k < 29; ++k) {
        if (k % 6 == 5 ? s[at + k] != '-' : !Alnum(s[at + k])) {
            return false;
        }
    }
    return true;
}

void Bytes(std::string_view hex, unsigned char* out) {
    for (std::size_t k = 0; k + 1 < hex.size(); k += 2) {
        out[k / 2] = static_cast<unsigned char>(HexValue(hex[k]) << 4 | HexValue(hex[k + 1]));
    }
}

void AppendHex(std::string& out, const unsigned char* b, std::size_t n, bool lower) {
    const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    for (std::size_t k = 0; k < n; ++k) {
        out += digits[b[k] >> 4];
        out += digits[b[k] & 15];
    }
}

bool AnyLower(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'f'; });
}

// The folders that hold the users' profiles, and the profiles of no one.
constexpr std::string_view kProfileFolders[] = {"Users", "home", "Documents and Settings"};
constexpr std::string_view kNoOnesProfiles[] = {"Public", "Default", "Default User", "All Users",
                                                "defaultuser0"};

// Top-level and second-level domains that name no one: kept after a masked host name.
constexpr std::string_view kPublicSuffixes[] = {
    "local",   "lan",  "home", "internal", "localdomain", "intranet", "corp",
    "private", "arpa", "com",  "net",      "org",         "info",     "biz"};
constexpr std::string_view kSecondLevel[] = {"co", "ne", "or",  "ac",  "go",  "ad",  "ed",
                                             "gr", "lg", "com", "net", "org", "gov", "edu"};

bool OneOf(std::string_view s, const auto& list) {
    return std::any_of(std::begin(list), std::end(list),
                       [&](std::string_view x) { return SameNoCase(s, x); });
}

}  // namespace

void Masker::Add(std::string_view value, bool host) {
    // Short values ("0", "N/A") would hit letters that are no one's.
    if (value.size() < 4 || learned_.size() >= 256) {
        return;
    }
    for (const auto& l : learned_) {
        if (SameNoCase(l.value, value)) {
            return;
        }
    }
    learned_.push_back({std::string(value), Text("text", value), host});
}

void Masker::Learn(std::string_view record) {
    const auto tab = record.find('\t');
    if (tab == std::string_view::npos) {
        return;
    }
    std::string_view value = record.substr(tab + 1);
    const PlannedProperty* planned = FindRecordedProperty(record.substr(0, tab));
    const Personal kind = planned ? planned->personal : Personal::None;
    if (unsigned char mac[6]; kind == Personal::Mac && ParseMac(value, mac)) {
        const std::string bytes(reinterpret_cast<const char*>(mac), 6);
        if (macs_.size() < 256 && std::find(macs_.begin(), macs_.end(), bytes) == macs_.end()) {
            macs_.push_back(bytes);
        }
        return;
    }
    if (kind == Personal::DeviceId && (value.starts_with("USB\\") || value.starts_with("usb\\"))) {
        const auto slash = value.rfind('\\');
        value = slash > 3 && value.find('&', slash) == std::string_view::npos
                    ? value.substr(slash + 1)
                    : std::string_view();
    } else if (kind != Personal::HostName && kind != Personal::Serial) {
        return;
    }
    Add(value, kind == Personal::HostName);
}

void Masker::LearnInside(std::string_view record) {
    const auto tab = record.find('\t');
    const std::string_view value = tab == std::string_view::npos ? "" : record.substr(tab + 1);
    std::string out;
    for (std::size_t i = 1; i < value.size(); ++i) {
        if (const std::size_t n = ProfilePath(value, i, out); n != 0) {
            const auto sep = value.find_first_of("\\/", i);
            Add(value.substr(sep + 1, i + n - sep - 1), false);
        }
    }
    const std::size_t hosts = learned_.size();
    for (std::size_t h = 0; h < hosts; ++h) {
        if (!learned_[h].host) {
            continue;
        }
        const std::string host = learned_[h].value;
        for (std::size_t i = 0; i + host.size() < value.size(); ++i) {
            if ((i == 0 || !Alnum(value[i - 1])) &&
                SameNoCase(value.substr(i, host.size()), host) && value[i + host.size()] == '.') {
                if (const std::size_t n = Domain(value, i + host.size(), out); n > 1) {
                    const std::string domain(value.substr(i + host.size() + 1, n - 1));
                    if (out.substr(1) != domain && learned_.size() < 256) {
                        learned_.push_back({domain, out.substr(1), false});
                    }
                }
            }
        }
    }
}

std::size_t Masker::Domain(std::string_view s, std::size_t at, std::string& out) const {
    std::vector<std::string_view> labels;
    std::size_t n = 0;
    while (at + n < s.size() && s[at + n] == '.') {
        const std::size_t label = Run(
            s, at + n + 1, [](char c) { return Alnum(c) || c == '-'; }, 63);
        if (label == 0) {
            break;
        }
        labels.push_back(s.substr(at + n + 1, label));
        n += 1 + label;
    }
    std::size_t keep = 0;
    if (!labels.empty()) {
        const std::string_view last = labels.back();
        const bool country = last.size() == 2 &&
                             std::isalpha(static_cast<unsigned char>(last[0])) &&
                             std::isalpha(static_cast<unsigned char>(last[1]));
        keep = country || OneOf(last, kPublicSuffixes) ? 1 : 0;
        if (keep == 1 && labels.size() >= 2 &&
            ((country && OneOf(labels[labels.size() - 2], kSecondLevel)) ||
             (SameNoCase(last, "arpa") && SameNoCase(labels[labels.size() - 2], "home")))) {
            keep = 2;
        }
    }
    out.clear();
    for (std::size_t k = 0; k < labels.size(); ++k) {
        out += '.';
        out += k + keep < labels.size() ? Text("text", labels[k]) : std::string(labels[k]);
    }
    return n;
}

std::size_t Masker::ProfilePath(std::string_view s, std::size_t at, std::string& out) const {
    if (at == 0 || (s[at - 1] != '\\' && s[at - 1] != '/')) {
        return 0;
    }
    for (const std::string_view folder : kProfileFolders) {
        const std::size_t start = at + folder.size() + 1;
        if (start >= s.size() || !SameNoCase(s.substr(at, folder.size()), folder) ||
            (s[start - 1] != '\\' && s[start - 1] != '/')) {
            continue;
        }
        std::size_t end = start;
        while (end < s.size() && static_cast<unsigned char>(s[end]) >= 0x20 &&
               std::strchr("\\/\"';|<>*?:,", s[end]) == nullptr) {
            ++end;
        }
        if (end - start > 64) {
            end = std::min(end, s.find(' ', start));  // a sentence goes on, not the name
        }
        const std::string_view name = s.substr(start, end - start);
        if (name.empty() || OneOf(name, kNoOnesProfiles)) {
            return 0;
        }
        out = std::string(s.substr(at, start - at)) + Text("text", name);
        return end - at;
    }
    return 0;
}

std::size_t Masker::MacNotation(std::string_view s, std::size_t at, std::string& out) const {
    unsigned char mac[6];
    out.clear();
    const std::size_t hex = Run(s, at, IsHex, 17);
    if (hex == 4 && at + 14 <= s.size() && EndsWord(s, at + 14) &&
        (at + 14 == s.size() || s[at + 14] != '.') && s[at + 4] == '.' && s[at + 9] == '.' &&
        Run(s, at + 5, IsHex) == 4 && Run(s, at + 10, IsHex) == 4) {
        // Cisco's notation: 8c16.4512.3456.
        const std::string digits = std::string(s.substr(at, 4)) + std::string(s.substr(at + 5, 4)) +
                                   std::string(s.substr(at + 10, 4));
        Bytes(digits, mac);
        const std::string masked = Mac(digits);
        out = Noted(masked.substr(0, 4) + "." + masked.substr(4, 4) + "." + masked.substr(8),
                    s.substr(at, 14));
        return 14;
    }
    if (hex != 16 || !EndsWord(s, at + 16)) {
        return 0;
    }
    unsigned char id[8];
    Bytes(s.substr(at, 16), id);
    if (id[3] != 0xFF || (id[4] != 0xFE && id[4] != 0xFF)) {
        return 0;
    }
    // The MAC with FFFE or FFFF inserted (a PCI device id, an EUI-64), its universal/local bit
    // flipped when that is how the file's MAC address reads.
    const unsigned char plain[6] = {id[0], id[1], id[2], id[5], id[6], id[7]};
    std::string flipped(reinterpret_cast<const char*>(plain), 6);
    flipped[0] = static_cast<char>(flipped[0] ^ 0x02);
    const bool flip =
        std::find(macs_.begin(), macs_.end(), flipped) != macs_.end() &&
        std::find(macs_.begin(), macs_.end(),
                  std::string(reinterpret_cast<const char*>(plain), 6)) == macs_.end();
    std::memcpy(mac, plain, 6);
    mac[0] ^= flip ? 0x02 : 0;
    MacBytes(mac, mac);
    mac[0] ^= flip ? 0x02 : 0;
    const bool lower = AnyLower(s.substr(at, 16));
    AppendHex(out, mac, 3, lower);
    out += s.substr(at + 6, 4);
    AppendHex(out, mac + 3, 3, lower);
    out = Noted(out, s.substr(at, 16));
    return 16;
}

std::string Masker::Inside(std::string_view property, std::string_view value) const {
    // Versions ("10.1.5.2") look like addresses but say nothing of anyone.
    const bool versions = property.find("Version") != std::string_view::npos;
    std::string out;
    std::size_t i = 0;
    while (i < value.size()) {
        std::string replaced;
        if (const std::size_t n = IdentifierAt(value, i, versions, replaced); n != 0) {
            out += replaced;
            i += n;
            continue;
        }
        // Nothing starts here: on to the next word.
        const std::size_t word =
            std::max<std::size_t>(Run(value, i, Alnum, std::string_view::npos), 1);
        out.append(value.substr(i, word));
        i += word;
    }
    return out;
}

std::size_t Masker::IdentifierAt(std::string_view s, std::size_t at, bool versions,
                                 std::string& out) const {
    if (at > 0 && Alnum(s[at - 1])) {
        return 0;  // only at a word's start
    }
    std::size_t n = LearnedAt(s, at, out);
    if (n == 0) {
        n = ProfilePath(s, at, out);
    }
    if (n == 0 && ProductKeyAt(s, at)) {
        n = 29;
        out = Text("text", s.substr(at, n));
    }
    if (n == 0 && IsHex(s[at])) {
        if (const std::size_t u = UuidAt(s, at); u != 0 && EndsWord(s, at + u)) {
            n = u;
            out = Uuid(s.substr(at, n));
        }
    }
    if (n == 0 && !versions && IsHex(s[at])) {
        n = MacNotation(s, at, out);
    }
    if (n == 0 && IsHex(s[at])) {
        n = AddressRunAt(s, at, versions, out);
    }
    if (n == 0 && !versions && s[at] >= '0' && s[at] <= '9') {
        n = Ipv4At(s, at, out);
    }
    if (n == 0 && Run(s, at, IsHex) == 12 && EndsWord(s, at + 12)) {
        // A MAC address without separators: a Bluetooth device id ("…&0&8C1645123456_C0…").
        n = 12;
        out = Mac(s.substr(at, 12));
    }
    return n;
}

std::size_t Masker::LearnedAt(std::string_view s, std::size_t at, std::string& out) const {
    for (const auto& l : learned_) {
        const std::size_t size = l.value.size();
        if (at + size <= s.size() && EndsWord(s, at + size) &&
            SameNoCase(s.substr(at, size), l.value)) {
            out = l.pseudonym;
            return size;
        }
    }
    return 0;
}

std::size_t Masker::AddressRunAt(std::string_view s, std::size_t at, bool versions,
                                 std::string& out) const {
    const std::size_t run =
        Run(s, at, [](char c) { return IsHex(c) || c == ':' || c == '.' || c == '-'; });
    unsigned char b[16];
    for (std::size_t k = run; k >= 2; --k) {
        const std::string_view candidate = s.substr(at, k);
        if (candidate.size() == 17 && ParseMac(candidate, b) && EndsWord(s, at + k)) {
            out = Mac(candidate);
            return k;
        }
        if (!versions && candidate.find(':') != std::string_view::npos &&
            candidate.find('-') == std::string_view::npos && EndsWord(s, at + k) &&
            ParseIpv6(candidate, b)) {
            out = Ip(candidate);  // a prefix length after it stays
            return k;
        }
        if (k < run - std::min<std::size_t>(run, 4)) {
            break;  // only the run itself and a few shorter ends are candidates
        }
    }
    return 0;
}

std::size_t Masker::Ipv4At(std::string_view s, std::size_t at, std::string& out) const {
    const std::size_t run = Run(s, at, [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    unsigned char b[4];
    std::size_t k = run;
    while (k > 0 && s[at + k - 1] == '.') {
        --k;  // the full stop of a sentence
    }
    if (ParseIpv4(s.substr(at, k), b) && EndsWord(s, at + k)) {
        out = Ip(s.substr(at, k));
        return k;
    }
    return 0;
}

}  // namespace qrx
