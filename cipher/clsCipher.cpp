#include "cipher/clsCipher.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <optional>

namespace qrx {

namespace {

// The raw material of the key and the IV; every code is 2 above the one used.
constexpr const char* kKeySource = "Qv7#kPz%2mXc&9Lt";
constexpr const char* kIvSource = "r4$Hw8*Ne3+Ty6@B";

std::string ShiftDown(const char* source) {
    std::string text;
    for (const char* p = source; *p != '\0'; ++p) {
        text += static_cast<char>(*p - 2);
    }
    return text;
}

std::uint32_t AlgorithmFor(std::int32_t keyBits) {
    switch (keyBits) {
        case 128:
            return ICryptoProvider::kCalgAes128;
        case 192:
            return ICryptoProvider::kCalgAes192;
        case 256:
            return ICryptoProvider::kCalgAes256;
        default:
            return 0;
    }
}

// keyBits / 8 to the nearest integer, a half going to the even neighbour.
std::int64_t ExpectedKeyLength(std::int32_t keyBits) {
    return static_cast<std::int64_t>(std::nearbyint(keyBits / 8.0));
}

void PutLE32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

}  // namespace

std::size_t Utf16Length(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) {
            n += c >= 0xF0 ? 2 : 1;
        }
    }
    return n;
}

std::string DiagnosticText(const AppError& e) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<std::uint32_t>(e.Number));
    return std::string("エラーコード: &H") + hex + "\r\nソース: " + e.Source + "\r\n" +
           e.Description;
}

std::string clsCipher::KeyText() {
    return ShiftDown(kKeySource);
}
std::string clsCipher::IvText() {
    return ShiftDown(kIvSource);
}

std::string clsCipher::gfEncryptDecrypt(const std::string& sStr, std::int16_t iType) {
    const std::string keyText = KeyText();
    const std::string ivText = IvText();
    std::string result = sStr;
    if (iType != 0 && Utf16Length(sStr) < 15) {
        return result;
    }
    if (sStr.empty()) {
        return result;
    }
    try {
        clsCipher worker(crypto_, codec_, window_, diagnostics_);
        const Bytes key = worker.stringToByte(keyText);
        const Bytes iv = worker.stringToByte(ivText);
        std::string output;
        if (iType == 0) {
            Bytes data = worker.stringToByte(sStr);
            worker.encrypt(key, iv, data, 128);
            output = worker.encode(data);
        } else {
            Bytes data = worker.decode(sStr);
            worker.decrypt(key, iv, data, 128);
            output = worker.byteToString(data);
        }
        result = output;
    } catch (const AppError& e) {
        if (diagnostics_) {
            diagnostics_(DiagnosticText(e));
        }
    } catch (const std::exception& e) {
        if (diagnostics_) {
            diagnostics_(DiagnosticText(AppError(ToSigned(0x80004005), "clsCipher", e.what())));
        }
    }
    return result;
}

void clsCipher::Transform(Direction direction, const Bytes& key, const Bytes& iv, Bytes& data,
                          std::int32_t keyBits) {
    using Handle = ICryptoProvider::Handle;
    Handle prov = 0;
    Handle hKey = 0;
    bool holdsProv = false;
    bool holdsKey = false;

    // Gives back what the call still holds, key before context, each at most once, and
    // throws the failure.
    auto fail = [&](AppError error) {
        if (holdsKey) {
            holdsKey = false;
            crypto_.DestroyKey(hKey);
        }
        if (holdsProv) {
            holdsProv = false;
            crypto_.ReleaseContext(prov);
        }
        throw error;
    };
    auto check = [&](std::uint32_t code, const char* step) {
        if (code != 0) {
            fail(AppError(ToSigned(code), step, getErrorMessage(code)));
        }
    };

    const std::uint32_t algId = AlgorithmFor(keyBits);
    const std::int64_t keyLength = ExpectedKeyLength(keyBits);
    if (static_cast<std::int64_t>(key.size()) != keyLength) {
        fail(AppError(ToSigned(kBadKeyLength), "decrypt()",
                      "鍵長が不正です: " + std::to_string(key.size()) + "byte"));
    }
    if (iv.size() != 16) {
        fail(AppError(ToSigned(kBadIvLength), "decrypt()",
                      "IV長が不正です: " + std::to_string(iv.size()) + "byte"));
    }

    check(crypto_.AcquireContext(prov, ICryptoProvider::kProvRsaAes,
                                 ICryptoProvider::kCryptVerifycontext),
          "decrypt()->CryptAcquireContext()");
    holdsProv = true;

    Bytes blob(12 + key.size(), 0);
    blob[0] = ICryptoProvider::kPlaintextkeyblob;
    blob[1] = ICryptoProvider::kCurBlobVersion;
    PutLE32(blob, 4, algId);
    PutLE32(blob, 8, static_cast<std::uint32_t>(key.size()));
    std::copy(key.begin(), key.end(), blob.begin() + 12);
    check(crypto_.ImportKey(prov, blob.data(), static_cast<std::uint32_t>(blob.size()), hKey),
          "decrypt()->CryptImportKey()");
    holdsKey = true;

    Bytes value(4, 0);
    PutLE32(value, 0, ICryptoProvider::kPkcs5Padding);
    check(crypto_.SetKeyParam(hKey, ICryptoProvider::kKpPadding, value.data()),
          "decrypt()->CryptSetKeyParam():KP_PADDING");
    check(crypto_.SetKeyParam(hKey, ICryptoProvider::kKpIv, iv.data()),
          "decrypt()->CryptSetKeyParam():KP_IV");
    PutLE32(value, 0, ICryptoProvider::kCryptModeCbc);
    check(crypto_.SetKeyParam(hKey, ICryptoProvider::kKpMode, value.data()),
          "decrypt()->CryptSetKeyParam():KP_MODE");

    // Running out of memory for the working buffer is reported like any other failure, after
    // the handles are given back.
    try {
        Bytes work(data);
        if (work.size() > std::numeric_limits<std::uint32_t>::max() - 32) {
            fail(AppError(ToSigned(ICryptoProvider::kNteBadLen), "decrypt()",
                          getErrorMessage(ICryptoProvider::kNteBadLen)));
        }
        const auto n = static_cast<std::uint32_t>(work.size());
        if (direction == Direction::Encrypt) {
            std::uint32_t m = n;
            check(crypto_.Encrypt(hKey, true, nullptr, m, n), "decrypt()->CryptEncrypt()");
            if (m > n) {
                work.resize(m);
            }
            std::uint32_t length = n;
            check(crypto_.Encrypt(hKey, true, work.data(), length,
                                  static_cast<std::uint32_t>(work.size())),
                  "decrypt()->CryptEncrypt()");
            work.resize(length);
        } else {
            std::uint32_t length = n;
            check(crypto_.Decrypt(hKey, true, work.data(), length), "decrypt()->CryptDecrypt()");
            work.resize(length);
        }
        data = std::move(work);
    } catch (const std::bad_alloc&) {
        fail(AppError(7, "decrypt()", "メモリが不足しています。"));
    }

    holdsKey = false;
    check(crypto_.DestroyKey(hKey), "decrypt()->CryptDestroyKey()");
    holdsProv = false;
    check(crypto_.ReleaseContext(prov), "decrypt()->CryptReleaseContext()");
}

void clsCipher::encrypt(const Bytes& key, const Bytes& iv, Bytes& data, std::int32_t keyBits) {
    Transform(Direction::Encrypt, key, iv, data, keyBits);
}

bool clsCipher::decrypt(const Bytes& key, const Bytes& iv, Bytes& data, std::int32_t keyBits) {
    try {
        Transform(Direction::Decrypt, key, iv, data, keyBits);
        return true;
    } catch (const AppError& e) {
        // Every failure is shown, also one for which the system has no text.
        window_.ShowMessage("Number:=" + std::to_string(e.Number) + ", Source:=" + e.Source +
                                ", Description:=" + e.Description,
                            mb::IconError);
        return false;
    }
}

Bytes clsCipher::decode(const std::string& strData) {
    return codec_.Base64Decode(strData);
}

std::string clsCipher::encode(const Bytes& byteData) {
    return codec_.Base64Encode(byteData);
}

namespace {

std::string CodecFailureText(std::int32_t number, const std::string& description) {
    return "エラーコード:" + std::to_string(number) + "\r\n" + description;
}

}  // namespace

std::string clsCipher::byteToString(const Bytes& byteData) {
    try {
        return codec_.FromShiftJis(byteData);
    } catch (const AppError& e) {
        window_.ShowMessage(CodecFailureText(e.Number, e.Description), mb::OK);
    } catch (const std::exception& e) {
        window_.ShowMessage(CodecFailureText(ToSigned(0x80004005), e.what()), mb::OK);
    }
    return {};
}

Bytes clsCipher::stringToByte(const std::string& strData) {
    try {
        return codec_.ToShiftJis(strData);
    } catch (const AppError& e) {
        window_.ShowMessage(CodecFailureText(e.Number, e.Description), mb::OK);
    } catch (const std::exception& e) {
        window_.ShowMessage(CodecFailureText(ToSigned(0x80004005), e.what()), mb::OK);
    }
    return {};
}

std::int32_t clsCipher::makeLangId(std::int32_t primary, std::int32_t sub) {
    auto narrow = [](std::int32_t v) {
        if (v < -32768 || v > 32767) {
            throw AppError(6, "clsCipher", "オーバーフローしました。");
        }
        return static_cast<std::int16_t>(v);
    };
    const std::int16_t p = narrow(primary);
    const std::int16_t s = narrow(sub);
    return (static_cast<std::int32_t>(s) * 1024) | p;
}

std::string clsCipher::getErrorMessage(std::uint32_t code) {
    const auto language = static_cast<std::uint32_t>(makeLangId(0, 1));
    return crypto_.SystemMessage(code, language);
}

}  // namespace qrx
