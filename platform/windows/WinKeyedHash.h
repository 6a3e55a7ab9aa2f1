#pragma once

#include "platform/KeyedHash.h"

namespace qrx {

// HMAC-SHA256 through the system's CNG (bcrypt).
class WinKeyedHash : public IKeyedHash {
  public:
    WinKeyedHash();
    ~WinKeyedHash() override;
    WinKeyedHash(const WinKeyedHash&) = delete;
    WinKeyedHash& operator=(const WinKeyedHash&) = delete;

    Digest HmacSha256(std::string_view key, std::string_view data) override;

  private:
    void* algorithm_ = nullptr;  // BCRYPT_ALG_HANDLE, opened on first use
};

}  // namespace qrx
