#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/KeyedHash.h"
#include "tools/decode/records/Addresses.h"  // also used to check what the pseudonyms look like

namespace qrx {

// Replaces personal values with pseudonyms of the same shape: the properties that the
// collection plan marks as MAC and IP addresses, host names, serial numbers, UUIDs and device
// ids, every other notation of them inside other values, what only its shape gives away (user
// names in profile paths, product keys) and the desk's own words. A pseudonym is the
// HMAC-SHA256 of the value under the key, so the same value gives the same pseudonym for the
// same key and nothing of the value can be read back from it. Hardware and software facts pass
// unchanged.
class Masker {
  public:
    Masker(std::string key, IKeyedHash& hash) : key_(std::move(key)), hash_(hash) {}
    // 32 bytes from the system's random source: pseudonyms that no one can recompute.
    static std::string RandomKey();

    // The desk's own words (--mask-words): masked wherever they occur, in any case and in
    // full-width or half-width forms.
    void SetWords(const std::vector<std::string>& words);
    // Keeps every pseudonym given out with its original (--mask-map), in `map`.
    void KeepMap(std::map<std::string, std::string>* map) { map_ = map; }

    // Learns what a file holds so that Record and Value replace it inside other values too.
    // The decoder learns a whole file before it masks any of it, in two rounds: Learn takes the
    // values the plan marks (the host name, the serial numbers and the serial in a USB device
    // id, the MAC addresses); LearnInside then the user names in profile paths and the DNS
    // domain after the host name, wherever they are.
    void Learn(std::string_view record);
    void LearnInside(std::string_view record);
    void ForgetLearned() {
        learned_.clear();
        macs_.clear();
    }

    // A record with its value masked; class headers pass unchanged. In the values of other
    // properties, MAC addresses in every notation, IPv4 and IPv6 addresses (a prefix length
    // kept), UUIDs and GUIDs (braced or not, dashed or not; the Bluetooth base kept), product
    // keys, user names in profile paths and what was learned (any case) are replaced, each by
    // the same pseudonym as the value itself.
    std::string Record(std::string_view record) const;
    std::string Value(std::string_view property, std::string_view value) const;
    // Any other text the desk sends (a reason in a message): the desk's words masked.
    std::string Words(std::string_view text) const;

    std::string Mac(std::string_view mac) const;    // with ":" or "-", or 12 hex digits
    std::string Ip(std::string_view ip) const;      // IPv4 or IPv6, "/24" kept; else as Text
    std::string Uuid(std::string_view uuid) const;  // also braced or without dashes
    // Same length, digits stay digits, letters letters of the same case, punctuation stays.
    std::string Text(std::string_view kind, std::string_view text) const;

  private:
    class Stream;
    // The pseudonym of the six bytes of a MAC address.
    void MacBytes(const unsigned char in[6], unsigned char out[6]) const;
    // Ip's steps: the pseudonym of an IPv4 address, of an IPv6 address (its bytes overwritten)
    // with its zone; `ip` is the address as written.
    std::string Ipv4(const unsigned char address[4], std::string_view ip) const;
    std::string Ipv6(unsigned char address[16], std::string_view zone, std::string_view ip) const;
    // Value without the desk's words.
    std::string MaskedValue(std::string_view property, std::string_view value) const;
    // The identifiers inside a value that is not itself personal.
    std::string Inside(std::string_view property, std::string_view value) const;
    // The length of an identifier at `at`, with its pseudonym; 0 when none starts there. Its
    // steps: what the file told (Learn), an IPv6 or a MAC address in a run of hex digits and
    // separators (no IPv6 in a version), an IPv4 address.
    std::size_t IdentifierAt(std::string_view s, std::size_t at, bool versions,
                             std::string& out) const;
    std::size_t LearnedAt(std::string_view s, std::size_t at, std::string& out) const;
    std::size_t AddressRunAt(std::string_view s, std::size_t at, bool versions,
                             std::string& out) const;
    std::size_t Ipv4At(std::string_view s, std::size_t at, std::string& out) const;
    // The length of a notation of a MAC address at `at` that Mac cannot read (Cisco's dotted
    // groups, the EUI-64 forms with FFFE or FFFF inserted), with its pseudonym; 0 when none.
    std::size_t MacNotation(std::string_view s, std::size_t at, std::string& out) const;
    // The length of a user name's folder after a profile folder at `at`, with its pseudonym.
    std::size_t ProfilePath(std::string_view s, std::size_t at, std::string& out) const;
    // The DNS domain that follows a host name, masked but for its public suffix.
    std::size_t Domain(std::string_view s, std::size_t at, std::string& out) const;
    std::string Noted(std::string pseudonym, std::string_view original) const;
    void Add(std::string_view value, bool host);

    std::string key_;
    IKeyedHash& hash_;
    struct Learned {
        std::string value;
        std::string pseudonym;
        bool host = false;  // a domain after it is masked too
    };
    std::vector<Learned> learned_;
    std::vector<std::string> macs_;   // the six bytes of each MAC address the file holds
    std::vector<std::string> words_;  // folded (MaskWords.h)
    std::map<std::string, std::string>* map_ = nullptr;
};

}  // namespace qrx
