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
// The same into `out`, reusing its storage; after a failure `out` holds no meaningful bytes.
void Base64Decode(std::string_view text, Bytes& out);

}  // namespace qrx
