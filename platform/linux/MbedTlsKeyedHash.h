#pragma once

#include "platform/KeyedHash.h"

namespace qrx {

// HMAC-SHA256 through mbed TLS.
class MbedTlsKeyedHash : public IKeyedHash {
  public:
    Digest HmacSha256(std::string_view key, std::string_view data) override;
};

}  // namespace qrx
