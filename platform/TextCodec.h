#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qrx {

using Bytes = std::vector<std::uint8_t>;

// Conversions between the program's UTF-8 text and the bytes of code page 932, and between bytes
// and Base64 text. Code page 932 is the platform's; Base64 is the one shared codec (Base64.h) on
// every platform.
class ITextCodec {
  public:
    virtual ~ITextCodec() = default;
    // A character that code page 932 cannot represent becomes "?".
    virtual Bytes ToShiftJis(const std::string& text) = 0;
    // A byte sequence that is not valid code page 932 becomes U+FFFD.
    virtual std::string FromShiftJis(const Bytes& bytes) = 0;
    // Standard Base64 with "=" padding and no line breaks.
    std::string Base64Encode(const Bytes& bytes);
    // Ignores CR, LF, TAB and spaces; throws AppError on anything else that is not Base64.
    Bytes Base64Decode(const std::string& text);
    // The same into the start of `buffer`, which grows as needed and never shrinks; returns
    // the number of bytes.
    std::size_t Base64Decode(std::string_view text, Bytes& buffer);
};

}  // namespace qrx
