#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qrx {

// The value of a hexadecimal digit of either case, or -1.
int HexValue(char c);

// Addresses as text and back: dotted IPv4, IPv6 in its shortest form (RFC 5952; an IPv4 tail
// when `dottedTail`), and MAC addresses with ":" or "-".
bool ParseIpv4(std::string_view text, unsigned char out[4]);
bool ParseIpv6(std::string_view text, unsigned char out[16]);  // a "%zone" is not part of it
bool ParseMac(std::string_view text, unsigned char out[6]);
std::string FormatV4(std::uint32_t a);
std::string FormatV6(const unsigned char b[16], bool dottedTail);

}  // namespace qrx
