#pragma once

#include <array>
#include <map>
#include <memory>

#include "platform/Crypto.h"
#include "platform/TextCodec.h"

namespace qrx {

// The CryptoAPI calls over mbed TLS's AES, linked into the program from the static library. It
// reads key blobs as CryptoAPI does and answers with the Windows error codes; the system texts
// are its own. mbed TLS needs no configuration, no provider and no set-up: an instance encrypts
// and decrypts from the start, and the processor's AES instructions are used where it has them.
class MbedTlsCrypto : public ICryptoProvider {
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

  private:
    struct Key {
        Bytes secret;
        std::array<std::uint8_t, 16> iv{};
        std::uint32_t mode = kCryptModeCbc;
    };

    struct Schedule;
    struct ScheduleFree {
        void operator()(Schedule* s) const;
    };

    // The whole message through AES in the key's mode, in place, padding added or checked.
    std::uint32_t EncryptBlocks(const Key& k, std::uint8_t* buffer, std::uint32_t& length);
    std::uint32_t DecryptBlocks(const Key& k, std::uint8_t* buffer, std::uint32_t& length);
    // AES over whole blocks from `in` to `out`. Returns 0 or a Windows error code.
    std::uint32_t RunAes(const Key& k, bool encrypt, const std::uint8_t* in, std::uint8_t* out,
                         std::uint32_t length);

    Handle next_ = 0x1000;
    Bytes scratch_;
    std::unique_ptr<Schedule, ScheduleFree> schedule_;
    std::map<Handle, bool> contexts_;
    std::map<Handle, Key> keys_;
};

}  // namespace qrx
