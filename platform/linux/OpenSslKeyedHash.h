#pragma once

#include "platform/KeyedHash.h"

namespace qrx {

// HMAC-SHA256 through OpenSSL's libcrypto.
class OpenSslKeyedHash : public IKeyedHash {
  public:
    Digest HmacSha256(std::string_view key, std::string_view data) override;
};

}  // namespace qrx
