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
    // Throws AppError when the library offers no AES-CBC (a configuration without the
    // default provider).
    OpenSslCrypto();

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
    std::uint32_t Transform(Handle handle, const Key& k, bool encrypt, std::uint8_t* buffer,
                            std::uint32_t& length);

    std::uint32_t DecryptCbc(Handle handle, const Key& k, std::uint8_t* buffer,
                             std::uint32_t& length);

    struct CtxFree {
        void operator()(void* ctx) const;
    };

    Handle next_ = 0x1000;
    // One cipher context serves every call; it is set up afresh when the key, the mode or the
    // direction differs from the last call's.
    struct Setup {
        Handle key = 0;
        std::uint32_t mode = 0;
        bool encrypt = false;
        bool operator==(const Setup&) const = default;
    };
    std::unique_ptr<void, CtxFree> ctx_;
    Setup ctxSetup_;
    // An AES-ECB context without padding for decrypting CBC, kept for one key.
    std::unique_ptr<void, CtxFree> ecb_;
    Handle ecbKey_ = 0;
    Bytes scratch_;
    std::map<Handle, bool> contexts_;
    std::map<Handle, Key> keys_;
};

}  // namespace qrx
