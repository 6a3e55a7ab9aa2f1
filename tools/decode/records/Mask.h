#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/KeyedHash.h"
#include "tools/decode/records/Addresses.h"  // also used to check what the pseudonyms look like

namespace qrx {

// Replaces personal values with pseudonyms of the same shape: the properties that the
// collection plan marks as MAC and IP addresses, host names, serial numbers, UUIDs and device
// ids. A pseudonym is the HMAC-SHA256 of the
// value under the key, so the same value gives the same pseudonym for the same key and nothing
// of the value can be read back from it. Hardware and software facts pass unchanged.
class Masker {
  public:
    Masker(std::string key, IKeyedHash& hash) : key_(std::move(key)), hash_(hash) {}
    // 32 bytes from the system's random source: pseudonyms that no one can recompute.
    static std::string RandomKey();

    // Learns the host name (CSName) and the serial numbers (every SerialNumber, the serial in a
    // USB device id) of a record, so that Record and Value replace them inside other values
    // too. The decoder learns a whole file before it masks any of it.
    void Learn(std::string_view record);
    void ForgetLearned() { learned_.clear(); }

    // A record with its value masked; class headers pass unchanged. In the values of other
    // properties, MAC addresses (also without separators), IPv4 and IPv6 addresses (a prefix
    // length kept), UUIDs and GUIDs (braced or not, dashed or not) and what was learned (any
    // case) are replaced, each by the same pseudonym as the value itself.
    std::string Record(std::string_view record) const;
    std::string Value(std::string_view property, std::string_view value) const;

    std::string Mac(std::string_view mac) const;    // with ":" or "-", or 12 hex digits
    std::string Ip(std::string_view ip) const;      // IPv4 or IPv6, "/24" kept; else as Text
    std::string Uuid(std::string_view uuid) const;  // also braced or without dashes
    // Same length, digits stay digits, letters letters of the same case, punctuation stays.
    std::string Text(std::string_view kind, std::string_view text) const;

  private:
    class Stream;
    // The identifiers inside a value that is not itself personal.
    std::string Inside(std::string_view property, std::string_view value) const;

    std::string key_;
    IKeyedHash& hash_;
    struct Learned {
        std::string value;
        std::string pseudonym;
    };
    std::vector<Learned> learned_;
};

}  // namespace qrx
