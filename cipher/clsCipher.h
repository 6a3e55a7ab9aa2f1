#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "cipher/CipherEngine.h"
#include "platform/AppError.h"
#include "platform/Crypto.h"
#include "platform/TextCodec.h"
#include "platform/Utf8.h"
#include "platform/Windowing.h"

namespace qrx {

// Receives the diagnostic text of an error that gfEncryptDecrypt caught.
using DiagnosticSink = std::function<void(const std::string&)>;

// Turns a record text into a Base64 line of AES-128-CBC ciphertext of its code page 932 bytes,
// and back. The class keeps nothing between calls: every operation acquires and gives back its
// own platform objects.
class clsCipher {
  public:
    clsCipher(ICryptoProvider& crypto, ITextCodec& codec, IWindowing& window,
              DiagnosticSink diagnostics = {})
        : crypto_(crypto), codec_(codec), window_(window), diagnostics_(std::move(diagnostics)) {}

    // iType 0 encrypts a record text into a cipher line; any other value decrypts a cipher
    // line. Never fails: when something goes wrong the input comes back unchanged.
    std::string gfEncryptDecrypt(const std::string& sStr, std::int16_t iType);

    // AES-CBC with PKCS#7 padding through the platform's CryptoAPI. decrypt shows a failure in
    // a message box and returns false; encrypt throws it as AppError. data is replaced only on
    // success.
    bool decrypt(const Bytes& key, const Bytes& iv, Bytes& data, std::int32_t keyBits);
    void encrypt(const Bytes& key, const Bytes& iv, Bytes& data, std::int32_t keyBits);

    // Base64; failures travel to the caller.
    Bytes decode(const std::string& strData);
    std::string encode(const Bytes& byteData);

    // Code page 932; failures are shown in a message box and give an empty result.
    std::string byteToString(const Bytes& byteData);
    Bytes stringToByte(const std::string& strData);

    // The key and IV texts, built afresh from the stored sources on every call.
    static std::string KeyText();
    static std::string IvText();

    // Error numbers of the engine.
    static constexpr std::uint32_t kPlatformCallFailed = AesCbcEngine::kPlatformCallFailed;
    static constexpr std::uint32_t kBadKeyLength = AesCbcEngine::kBadKeyLength;
    static constexpr std::uint32_t kBadIvLength = AesCbcEngine::kBadIvLength;

  private:
    enum class Direction { Encrypt, Decrypt };

    // The engine shared by encrypt and decrypt; throws the failure it returns.
    void Transform(Direction direction, const Bytes& key, const Bytes& iv, Bytes& data,
                   std::int32_t keyBits);

    std::int32_t makeLangId(std::int32_t primary, std::int32_t sub);
    std::string getErrorMessage(std::uint32_t code);

    ICryptoProvider& crypto_;
    ITextCodec& codec_;
    IWindowing& window_;
    DiagnosticSink diagnostics_;
};

// The diagnostic text of a caught error: its number in hexadecimal, its source and description.
std::string DiagnosticText(const AppError& e);

}  // namespace qrx
