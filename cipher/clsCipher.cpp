#include "cipher/clsCipher.h"

#include <cstdio>
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

}  // namespace

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
    AesCbcEngine engine(crypto_, [this](std::uint32_t code) { return getErrorMessage(code); });
    if (MaybeFailure f = engine.Transform(
            direction == Direction::Encrypt ? CipherDirection::Encrypt : CipherDirection::Decrypt,
            key, iv, data, keyBits)) {
        throw f->ToAppError();
    }
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
    Bytes out;
    if (MaybeFailure f = Base64ToBytes(codec_, strData, out)) {
        throw f->ToAppError();
    }
    return out;
}

std::string clsCipher::encode(const Bytes& byteData) {
    std::string out;
    if (MaybeFailure f = BytesToBase64(codec_, byteData, out)) {
        throw f->ToAppError();
    }
    return out;
}

namespace {

std::string CodecFailureText(std::int32_t number, const std::string& description) {
    return "エラーコード:" + std::to_string(number) + "\r\n" + description;
}

}  // namespace

std::string clsCipher::byteToString(const Bytes& byteData) {
    std::string out;
    if (MaybeFailure f = ShiftJisToText(codec_, byteData, out)) {
        window_.ShowMessage(CodecFailureText(f->number, f->text), mb::OK);
        return {};
    }
    return out;
}

Bytes clsCipher::stringToByte(const std::string& strData) {
    Bytes out;
    if (MaybeFailure f = TextToShiftJis(codec_, strData, out)) {
        window_.ShowMessage(CodecFailureText(f->number, f->text), mb::OK);
        return {};
    }
    return out;
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
