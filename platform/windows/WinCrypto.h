#pragma once

#include "platform/Crypto.h"

namespace qrx {

// The CryptoAPI calls of advapi32, and FormatMessageW for the system's texts.
class WinCrypto : public ICryptoProvider {
  public:
    std::uint32_t AcquireContext(Handle& prov, std::uint32_t provType,
                                 std::uint32_t flags) override;
    std::uint32_t ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t blobLen,
                            Handle& key) override;
    std::uint32_t SetKeyParam(Handle key, std::uint32_t param, const std::uint8_t* data) override;
    std::uint32_t Encrypt(Handle key, bool final, std::uint8_t* buffer, std::uint32_t& length,
                          std::uint32_t bufferSize) override;
    std::uint32_t Decrypt(Handle key, bool final, std::uint8_t* buffer,
                          std::uint32_t& length) override;
    std::uint32_t DestroyKey(Handle key) override;
    std::uint32_t ReleaseContext(Handle prov) override;
    std::string SystemMessage(std::uint32_t code, std::uint32_t languageId) override;
};

}  // namespace qrx
