#pragma once

#include <array>
#include <map>
#include <memory>

#include "platform/Crypto.h"
#include "platform/TextCodec.h"

namespace qrx {

// The CryptoAPI calls over OpenSSL's libcrypto. It reads key blobs as CryptoAPI does and answers
// with the Windows error codes; the system texts are its own.
class OpenSslCrypto : public ICryptoProvider {
  public:
    // Decryption goes through OpenSSL's provider. Throws AppError when it offers no AES (a
    // configuration without the default provider), so that a decoder can stop before its
    // first line. Encryption needs no provider.
    static void PrepareDecryption();

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

  private:
    struct Key {
        std::uint32_t algId = 0;
        Bytes secret;
        std::array<std::uint8_t, 16> iv{};
        std::uint32_t mode = kCryptModeCbc;
    };

    // The whole message through AES in the key's mode, in place, padding added or checked.
    static std::uint32_t EncryptBlocks(const Key& k, std::uint8_t* buffer, std::uint32_t& length);
    std::uint32_t DecryptBlocks(Handle handle, const Key& k, std::uint8_t* buffer,
                                std::uint32_t& length);

    struct CtxFree {
        void operator()(void* ctx) const;
    };

    Handle next_ = 0x1000;
    // An AES-ECB context without padding for decrypting CBC, kept for one key.
    std::unique_ptr<void, CtxFree> ecb_;
    Handle ecbKey_ = 0;
    Bytes scratch_;
    std::map<Handle, bool> contexts_;
    std::map<Handle, Key> keys_;
};

}  // namespace qrx
