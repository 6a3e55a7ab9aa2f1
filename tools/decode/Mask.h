#pragma once

#include <string>
#include <string_view>

#include "platform/KeyedHash.h"
#include "tools/decode/Addresses.h"  // also used to check what the pseudonyms look like

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

    // A record with its value masked; class headers and other properties pass unchanged.
    std::string Record(std::string_view record) const;
    std::string Value(std::string_view property, std::string_view value) const;

    std::string Mac(std::string_view mac) const;
    std::string Ip(std::string_view ip) const;  // IPv4 or IPv6; anything else as Text
    std::string Uuid(std::string_view uuid) const;
    // Same length, digits stay digits, letters letters of the same case, punctuation stays.
    std::string Text(std::string_view kind, std::string_view text) const;

  private:
    class Stream;
    std::string key_;
    IKeyedHash& hash_;
};

}  // namespace qrx
