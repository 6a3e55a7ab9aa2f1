#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/AppError.h"
#include "platform/Crypto.h"
#include "platform/TextCodec.h"

namespace qrx {

// Why a step of the cipher failed: the error number, the step that failed and the text for it.
struct CipherFailure {
    std::int32_t number = 0;
    std::string step;
    std::string text;

    AppError ToAppError() const { return AppError(number, step, text); }
};

// No value on success.
using MaybeFailure = std::optional<CipherFailure>;

enum class CipherDirection { Encrypt, Decrypt };

// AES-CBC with PKCS#7 padding through the platform's CryptoAPI calls. Failures are returned,
// never thrown or shown: the caller decides how to report them.
class AesCbcEngine {
  public:
    // The system's text for a platform error code, or empty.
    using MessageOf = std::function<std::string(std::uint32_t code)>;

    // Error numbers of the engine.
    static constexpr std::uint32_t kPlatformCallFailed = 0x80040201;
    static constexpr std::uint32_t kBadKeyLength = 0x80040202;
    static constexpr std::uint32_t kBadIvLength = 0x80040203;

    AesCbcEngine(ICryptoProvider& crypto, MessageOf messageOf)
        : crypto_(crypto), messageOf_(std::move(messageOf)) {}

    // One self-contained call: acquires a context, imports the key, sets padding, IV and mode,
    // transforms the whole of `data`, destroys the key and releases the context. The handles
    // still held are given back before a failure is returned. `data` is replaced only once the
    // transformation succeeded (a failure to give back the handles comes after that).
    MaybeFailure Transform(CipherDirection direction, const Bytes& key, const Bytes& iv,
                           Bytes& data, std::int32_t keyBits);

    // A context and an AES-128 key held for many messages under one key, for a reader of many
    // cipher lines. Each message is decrypted with the IV given for it.
    class Decryptor {
      public:
        explicit Decryptor(AesCbcEngine& engine) : engine_(engine) {}
        ~Decryptor();
        Decryptor(const Decryptor&) = delete;
        Decryptor& operator=(const Decryptor&) = delete;

        MaybeFailure Open(const Bytes& key);
        // Decrypts `size` bytes at `buffer` in place; `size` becomes the plaintext length.
        MaybeFailure Decrypt(const Bytes& iv, std::uint8_t* buffer, std::uint32_t& size);

      private:
        AesCbcEngine& engine_;
        ICryptoProvider::Handle prov_ = 0;
        ICryptoProvider::Handle key_ = 0;
        bool open_ = false;
    };

  private:
    CipherFailure PlatformFailure(std::uint32_t code, const char* step);
    MaybeFailure Prepare(const Bytes& key, std::int32_t keyBits, ICryptoProvider::Handle& prov,
                         bool& holdsProv, ICryptoProvider::Handle& hKey, bool& holdsKey);

    ICryptoProvider& crypto_;
    MessageOf messageOf_;
};

// The text and Base64 conversions of the cipher with their failures returned. `out` is set only
// on success.
MaybeFailure TextToShiftJis(ITextCodec& codec, const std::string& text, Bytes& out);
MaybeFailure ShiftJisToText(ITextCodec& codec, const Bytes& bytes, std::string& out);
MaybeFailure BytesToBase64(ITextCodec& codec, const Bytes& bytes, std::string& out);
MaybeFailure Base64ToBytes(ITextCodec& codec, const std::string& text, Bytes& out);
// Base64 decoded into the start of `buffer`, which grows as needed and never shrinks, for a
// reader of many lines; `size` is set to the number of bytes on success.
MaybeFailure Base64ToBuffer(ITextCodec& codec, std::string_view text, Bytes& buffer,
                            std::size_t& size);

}  // namespace qrx
