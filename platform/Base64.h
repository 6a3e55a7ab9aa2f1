#pragma once

#include <string>
#include <string_view>

#include "platform/TextCodec.h"

namespace qrx {

// Standard Base64 ("+", "/", "=" padding), no line breaks.
std::string Base64Encode(const Bytes& bytes);
// Skips CR, LF, TAB and spaces; throws AppError on any other character outside the alphabet
// and on missing or misplaced padding.
Bytes Base64Decode(std::string_view text);
// The same into the start of `buffer`, which grows as needed and never shrinks, so that its
// storage serves the next text too; returns the number of bytes. Throws as above.
std::size_t Base64Decode(std::string_view text, Bytes& buffer);

}  // namespace qrx
