#include "cipher/CipherEngine.h"

#include <cmath>
#include <limits>
#include <new>

namespace qrx {

namespace {

using Handle = ICryptoProvider::Handle;

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

Bytes Value32(std::uint32_t v) {
    Bytes b(4, 0);
    PutLE32(b, 0, v);
    return b;
}

// Runs a conversion of the codec and turns what it throws into the failure.
template <typename Run>
MaybeFailure Guarded(Run run) {
    try {
        run();
        return std::nullopt;
    } catch (const AppError& e) {
        return CipherFailure{e.Number, e.Source, e.Description};
    } catch (const std::exception& e) {
        return CipherFailure{ToSigned(0x80004005), "clsCipher", e.what()};
    }
}

}  // namespace

CipherFailure AesCbcEngine::PlatformFailure(std::uint32_t code, const char* step) {
    return CipherFailure{ToSigned(code), step, messageOf_ ? messageOf_(code) : std::string()};
}

MaybeFailure AesCbcEngine::Prepare(const Bytes& key, std::int32_t keyBits, Handle& prov,
                                   bool& holdsProv, Handle& hKey, bool& holdsKey) {
    if (const std::uint32_t code = crypto_.AcquireContext(prov, ICryptoProvider::kProvRsaAes,
                                                          ICryptoProvider::kCryptVerifycontext)) {
        return PlatformFailure(code, "decrypt()->CryptAcquireContext()");
    }
    holdsProv = true;

    Bytes blob(12 + key.size(), 0);
    blob[0] = ICryptoProvider::kPlaintextkeyblob;
    blob[1] = ICryptoProvider::kCurBlobVersion;
    PutLE32(blob, 4, AlgorithmFor(keyBits));
    PutLE32(blob, 8, static_cast<std::uint32_t>(key.size()));
    std::copy(key.begin(), key.end(), blob.begin() + 12);
    if (const std::uint32_t code =
            crypto_.ImportKey(prov, blob.data(), static_cast<std::uint32_t>(blob.size()), hKey)) {
        return PlatformFailure(code, "decrypt()->CryptImportKey()");
    }
    holdsKey = true;
    return std::nullopt;
}

MaybeFailure AesCbcEngine::Transform(CipherDirection direction, const Bytes& key, const Bytes& iv,
                                     Bytes& data, std::int32_t keyBits) {
    Handle prov = 0;
    Handle hKey = 0;
    bool holdsProv = false;
    bool holdsKey = false;
    // Gives back what the call still holds, key before context, each at most once; their
    // results are ignored.
    auto giveBack = [&](CipherFailure failure) -> MaybeFailure {
        if (holdsKey) {
            holdsKey = false;
            crypto_.DestroyKey(hKey);
        }
        if (holdsProv) {
            holdsProv = false;
            crypto_.ReleaseContext(prov);
        }
        return failure;
    };

    if (static_cast<std::int64_t>(key.size()) != ExpectedKeyLength(keyBits)) {
        return CipherFailure{ToSigned(kBadKeyLength), "decrypt()",
                             "鍵長が不正です: " + std::to_string(key.size()) + "byte"};
    }
    if (iv.size() != 16) {
        return CipherFailure{ToSigned(kBadIvLength), "decrypt()",
                             "IV長が不正です: " + std::to_string(iv.size()) + "byte"};
    }
    if (MaybeFailure f = Prepare(key, keyBits, prov, holdsProv, hKey, holdsKey)) {
        return giveBack(std::move(*f));
    }
    const struct {
        std::uint32_t param;
        Bytes value;
        const char* step;
    } params[] = {
        {ICryptoProvider::kKpPadding, Value32(ICryptoProvider::kPkcs5Padding),
         "decrypt()->CryptSetKeyParam():KP_PADDING"},
        {ICryptoProvider::kKpIv, iv, "decrypt()->CryptSetKeyParam():KP_IV"},
        {ICryptoProvider::kKpMode, Value32(ICryptoProvider::kCryptModeCbc),
         "decrypt()->CryptSetKeyParam():KP_MODE"},
    };
    for (const auto& p : params) {
        if (const std::uint32_t code = crypto_.SetKeyParam(hKey, p.param, p.value.data())) {
            return giveBack(PlatformFailure(code, p.step));
        }
    }

    // Running out of memory for the working buffer is reported like any other failure, after
    // the handles are given back.
    try {
        // The working buffer cannot be given zero elements: empty data fails, left as it is. A
        // record whose conversion failed (no bytes) is then stored as its text, not as an
        // encrypted empty record.
        if (data.empty()) {
            return giveBack(CipherFailure{9, "decrypt()", "インデックスが有効範囲にありません。"});
        }
        Bytes work(data);
        if (work.size() > std::numeric_limits<std::uint32_t>::max() - 32) {
            return giveBack(CipherFailure{
                ToSigned(ICryptoProvider::kNteBadLen), "decrypt()",
                messageOf_ ? messageOf_(ICryptoProvider::kNteBadLen) : std::string()});
        }
        const auto n = static_cast<std::uint32_t>(work.size());
        std::uint32_t length = n;
        if (direction == CipherDirection::Encrypt) {
            std::uint32_t m = n;
            if (const std::uint32_t code = crypto_.Encrypt(hKey, true, nullptr, m, n)) {
                return giveBack(PlatformFailure(code, "decrypt()->CryptEncrypt()"));
            }
            if (m > n) {
                work.resize(m);
            }
            if (const std::uint32_t code = crypto_.Encrypt(
                    hKey, true, work.data(), length, static_cast<std::uint32_t>(work.size()))) {
                return giveBack(PlatformFailure(code, "decrypt()->CryptEncrypt()"));
            }
        } else if (const std::uint32_t code = crypto_.Decrypt(hKey, true, work.data(), length)) {
            return giveBack(PlatformFailure(code, "decrypt()->CryptDecrypt()"));
        }
        work.resize(length);
        data = std::move(work);
    } catch (const std::bad_alloc&) {
        return giveBack(CipherFailure{7, "decrypt()", "メモリが不足しています。"});
    }

    holdsKey = false;
    if (const std::uint32_t code = crypto_.DestroyKey(hKey)) {
        return giveBack(PlatformFailure(code, "decrypt()->CryptDestroyKey()"));
    }
    holdsProv = false;
    if (const std::uint32_t code = crypto_.ReleaseContext(prov)) {
        return PlatformFailure(code, "decrypt()->CryptReleaseContext()");
    }
    return std::nullopt;
}

AesCbcEngine::Decryptor::~Decryptor() {
    if (open_) {
        engine_.crypto_.DestroyKey(key_);
        engine_.crypto_.ReleaseContext(prov_);
    }
}

MaybeFailure AesCbcEngine::Decryptor::Open(const Bytes& key) {
    ICryptoProvider& crypto = engine_.crypto_;
    bool holdsProv = false;
    bool holdsKey = false;
    MaybeFailure failure = engine_.Prepare(key, 128, prov_, holdsProv, key_, holdsKey);
    if (!failure) {
        const Bytes padding = Value32(ICryptoProvider::kPkcs5Padding);
        const Bytes mode = Value32(ICryptoProvider::kCryptModeCbc);
        if (const auto code =
                crypto.SetKeyParam(key_, ICryptoProvider::kKpPadding, padding.data())) {
            failure = engine_.PlatformFailure(code, "decrypt()->CryptSetKeyParam():KP_PADDING");
        } else if (const auto code2 =
                       crypto.SetKeyParam(key_, ICryptoProvider::kKpMode, mode.data())) {
            failure = engine_.PlatformFailure(code2, "decrypt()->CryptSetKeyParam():KP_MODE");
        }
    }
    if (failure) {
        if (holdsKey) {
            crypto.DestroyKey(key_);
        }
        if (holdsProv) {
            crypto.ReleaseContext(prov_);
        }
        return failure;
    }
    open_ = true;
    return std::nullopt;
}

MaybeFailure AesCbcEngine::Decryptor::Decrypt(const Bytes& iv, std::uint8_t* buffer,
                                              std::uint32_t& size) {
    if (!open_) {
        return CipherFailure{
            ToSigned(ICryptoProvider::kNteBadKey), "decrypt()",
            engine_.messageOf_ ? engine_.messageOf_(ICryptoProvider::kNteBadKey) : std::string()};
    }
    ICryptoProvider& crypto = engine_.crypto_;
    if (const auto code = crypto.SetKeyParam(key_, ICryptoProvider::kKpIv, iv.data())) {
        return engine_.PlatformFailure(code, "decrypt()->CryptSetKeyParam():KP_IV");
    }
    if (const auto code = crypto.Decrypt(key_, true, buffer, size)) {
        return engine_.PlatformFailure(code, "decrypt()->CryptDecrypt()");
    }
    return std::nullopt;
}

MaybeFailure TextToShiftJis(ITextCodec& codec, const std::string& text, Bytes& out) {
    return Guarded([&] { out = codec.ToShiftJis(text); });
}

MaybeFailure ShiftJisToText(ITextCodec& codec, const Bytes& bytes, std::string& out) {
    return Guarded([&] { out = codec.FromShiftJis(bytes); });
}

MaybeFailure BytesToBase64(ITextCodec& codec, const Bytes& bytes, std::string& out) {
    return Guarded([&] { out = codec.Base64Encode(bytes); });
}

MaybeFailure Base64ToBytes(ITextCodec& codec, const std::string& text, Bytes& out) {
    return Guarded([&] { out = codec.Base64Decode(text); });
}

MaybeFailure Base64ToBuffer(ITextCodec& codec, std::string_view text, Bytes& buffer,
                            std::size_t& size) {
    return Guarded([&] { size = codec.Base64Decode(text, buffer); });
}

}  // namespace qrx
