#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qrx {

using Digest = std::array<std::uint8_t, 32>;

// HMAC-SHA256 from the platform's cryptographic library. Throws AppError when the library
// cannot compute it.
class IKeyedHash {
  public:
    virtual ~IKeyedHash() = default;
    virtual Digest HmacSha256(std::string_view key, std::string_view data) = 0;
};

}  // namespace qrx
