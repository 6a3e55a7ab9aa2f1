#pragma once

#include <cstdint>
#include <string>

namespace qrx {

// The symmetric-cipher calls of the platform's CryptoAPI, one method per call. Every method
// returns 0 on success or the platform's error code of that very call.
class ICryptoProvider {
  public:
    using Handle = std::uintptr_t;

    static constexpr std::uint32_t kProvRsaAes = 24;
    static constexpr std::uint32_t kCryptVerifycontext = 0xF0000000;
    static constexpr std::uint32_t kKpIv = 1;
    static constexpr std::uint32_t kKpPadding = 3;
    static constexpr std::uint32_t kKpMode = 4;
    static constexpr std::uint32_t kPkcs5Padding = 1;
    static constexpr std::uint32_t kCryptModeCbc = 1;
    static constexpr std::uint8_t kPlaintextkeyblob = 8;
    static constexpr std::uint8_t kCurBlobVersion = 2;
    static constexpr std::uint32_t kCalgAes128 = 0x660E;
    static constexpr std::uint32_t kCalgAes192 = 0x660F;
    static constexpr std::uint32_t kCalgAes256 = 0x6610;

    // Error codes shared by the providers.
    static constexpr std::uint32_t kNteBadKey = 0x80090003;
    static constexpr std::uint32_t kNteBadLen = 0x80090004;
    static constexpr std::uint32_t kNteBadData = 0x80090005;
    static constexpr std::uint32_t kNteBadAlgid = 0x80090008;
    static constexpr std::uint32_t kNteBadFlags = 0x80090009;
    static constexpr std::uint32_t kNteBadType = 0x8009000A;
    static constexpr std::uint32_t kNteBadVer = 0x80090007;
    static constexpr std::uint32_t kNteNoMemory = 0x8009000E;
    static constexpr std::uint32_t kErrorInvalidHandle = 6;
    static constexpr std::uint32_t kErrorInvalidParameter = 87;
    static constexpr std::uint32_t kErrorMoreData = 234;

    virtual ~ICryptoProvider() = default;
    virtual std::uint32_t AcquireContext(Handle& prov, std::uint32_t provType,
                                         std::uint32_t flags) = 0;
    virtual std::uint32_t ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t blobLen,
                                    Handle& key) = 0;
    // `data` points to a 32-bit value (kKpPadding, kKpMode) or the IV bytes (kKpIv).
    virtual std::uint32_t SetKeyParam(Handle key, std::uint32_t param,
                                      const std::uint8_t* data) = 0;
    // With `buffer` null only `length` is updated to the size the output needs.
    virtual std::uint32_t Encrypt(Handle key, bool final, std::uint8_t* buffer,
                                  std::uint32_t& length, std::uint32_t bufferSize) = 0;
    virtual std::uint32_t Decrypt(Handle key, bool final, std::uint8_t* buffer,
                                  std::uint32_t& length) = 0;
    virtual std::uint32_t DestroyKey(Handle key) = 0;
    virtual std::uint32_t ReleaseContext(Handle prov) = 0;
    // The system's message text for an error code, as the system words it (line break at the
    // end included), or empty when it has none.
    virtual std::string SystemMessage(std::uint32_t code, std::uint32_t languageId) = 0;
};

}  // namespace qrx
