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
    // AES-ECB over whole 16-byte blocks, for decryption; the chaining and the padding are done
    // by OpenSslCrypto.
    class BlockDecryption {
      public:
        virtual ~BlockDecryption() = default;
        // `in` and `out` do not overlap. Returns 0 or a Windows error code.
        virtual std::uint32_t Decrypt(Handle key, std::uint32_t algId, const Bytes& secret,
                                      const std::uint8_t* in, std::uint8_t* out,
                                      std::uint32_t length) = 0;
        // The key is destroyed: a schedule kept for it goes.
        virtual void Forget(Handle key) = 0;
    };

    // Encrypts through EVP with the default provider in a library context of its own, without
    // reading OpenSSL's configuration; Decrypt answers NTE_BAD_ALGID. That is all the program
    // needs.
    OpenSslCrypto() = default;
    // Also decrypts, with `decryption` (see EvpDecryption).
    explicit OpenSslCrypto(std::unique_ptr<BlockDecryption> decryption) {
        DecryptWith(std::move(decryption));
    }
    void DecryptWith(std::unique_ptr<BlockDecryption> decryption) {
        decryption_ = std::move(decryption);
    }

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

    Handle next_ = 0x1000;
    std::unique_ptr<BlockDecryption> decryption_;
    Bytes scratch_;
    std::map<Handle, bool> contexts_;
    std::map<Handle, Key> keys_;
};

// Decryption through OpenSSL's provider: AES-ECB, which uses the processor's AES instructions,
// with one context kept for the last key. Throws AppError when the provider offers no AES (a
// configuration without the default provider), so that a decoder stops before its first line.
// It lives apart from OpenSslCrypto, so that a program that only encrypts does not link it.
std::unique_ptr<OpenSslCrypto::BlockDecryption> EvpDecryption();

}  // namespace qrx
