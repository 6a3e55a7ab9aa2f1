#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qrx {

using Digest = std::array<std::uint8_t, 32>;

// SHA-256 and HMAC-SHA256 over bytes held in a string, portable and without a library: the
// masking of personal values needs a keyed hash on every platform the decoder runs on.
Digest Sha256(std::string_view data);
Digest HmacSha256(std::string_view key, std::string_view data);

}  // namespace qrx
