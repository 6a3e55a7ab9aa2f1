#include "platform/linux/OpenSslCrypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/AppError.h"

namespace qrx {

namespace {

constexpr std::uint32_t kNteBadUid = 0x80090001;
constexpr std::uint32_t kCryptModeEcb = 2;

std::uint32_t LE32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::size_t KeyLengthOf(std::uint32_t algId) {
    switch (algId) {
        case ICryptoProvider::kCalgAes128:
            return 16;
        case ICryptoProvider::kCalgAes192:
            return 24;
        case ICryptoProvider::kCalgAes256:
            return 32;
        default:
            return 0;
    }
}

// a ^= b for n bytes, eight at a time.
void Xor(std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        x ^= y;
        std::memcpy(a + i, &x, 8);
    }
    for (; i < n; ++i) {
        a[i] ^= b[i];
    }
}

}  // namespace

std::uint32_t OpenSslCrypto::AcquireContext(Handle& prov, std::uint32_t provType,
                                            std::uint32_t flags) {
    if (provType != kProvRsaAes) {
        return kNteBadType;
    }
    if (flags != kCryptVerifycontext) {
        return kNteBadFlags;
    }
    prov = ++next_;
    contexts_[prov] = true;
    return 0;
}

std::uint32_t OpenSslCrypto::ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t blobLen,
                                       Handle& key) {
    if (!contexts_.contains(prov)) {
        return kNteBadUid;
    }
    if (blob == nullptr || blobLen < 12) {
        return kNteBadData;
    }
    if (blob[0] != kPlaintextkeyblob) {
        return kNteBadType;
    }
    if (blob[1] != kCurBlobVersion) {
        return kNteBadVer;
    }
    const std::uint32_t algId = LE32(blob + 4);
    const std::size_t wanted = KeyLengthOf(algId);
    if (wanted == 0) {
        return kNteBadAlgid;
    }
    const std::uint32_t size = LE32(blob + 8);
    if (size != wanted || blobLen - 12 < size) {
        return kNteBadData;
    }
    Key k;
    k.algId = algId;
    k.secret.assign(blob + 12, blob + 12 + size);
    key = ++next_;
    keys_[key] = std::move(k);
    return 0;
}

std::uint32_t OpenSslCrypto::SetKeyParam(Handle key, std::uint32_t param,
                                         const std::uint8_t* data) {
    auto it = keys_.find(key);
    if (it == keys_.end()) {
        return kNteBadKey;
    }
    if (data == nullptr) {
        return kErrorInvalidParameter;
    }
    switch (param) {
        case kKpIv:
            std::copy(data, data + 16, it->second.iv.begin());
            return 0;
        case kKpPadding:
            return LE32(data) == kPkcs5Padding ? 0 : kNteBadData;
        case kKpMode: {
            const std::uint32_t mode = LE32(data);
            if (mode != kCryptModeCbc && mode != kCryptModeEcb) {
                return kNteBadData;
            }
            it->second.mode = mode;
            return 0;
        }
        default:
            return kNteBadType;
    }
}

std::uint32_t OpenSslCrypto::Encrypt(Handle key, bool final, std::uint8_t* buffer,
                                     std::uint32_t& length, std::uint32_t bufferSize) {
    auto it = keys_.find(key);
    if (it == keys_.end()) {
        return kNteBadKey;
    }
    // Only whole messages are served: the final flag must be set.
    if (!final) {
        return kNteBadFlags;
    }
    const std::uint64_t needed = (static_cast<std::uint64_t>(length) / 16 + 1) * 16;
    if (needed > 0xFFFFFFFFu) {
        return kNteBadLen;
    }
    if (buffer == nullptr) {
        length = static_cast<std::uint32_t>(needed);
        return 0;
    }
    if (bufferSize < needed) {
        length = static_cast<std::uint32_t>(needed);
        return kErrorMoreData;
    }
    return EncryptBlocks(it->second, buffer, length);
}

std::uint32_t OpenSslCrypto::Decrypt(Handle key, bool final, std::uint8_t* buffer,
                                     std::uint32_t& length) {
    auto it = keys_.find(key);
    if (it == keys_.end()) {
        return kNteBadKey;
    }
    if (!final) {
        return kNteBadFlags;
    }
    if (length == 0 || length % 16 != 0 || buffer == nullptr) {
        return kNteBadData;
    }
    return DecryptBlocks(key, it->second, buffer, length);
}

namespace {

// AES-CBC and AES-ECB for each key length from OpenSSL's default provider, in a library context
// of the program's own: the system's configuration is not read and no other provider is loaded.
// Each cipher is fetched on first use: the first fetch builds the provider's table of ciphers,
// the largest part of a run's cryptography (about 6 million instructions), and a fetch of every
// cipher up front would add to it. The context lives until the process ends: freeing it at exit
// would only cost time.
const EVP_CIPHER* EvpCipher(std::size_t keyBytes, bool cbc) {
    static OSSL_LIB_CTX* const context = [] {
        OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_ATEXIT, nullptr);
        OSSL_LIB_CTX* c = OSSL_LIB_CTX_new();
        return c != nullptr && OSSL_PROVIDER_load(c, "default") != nullptr ? c : nullptr;
    }();
    static EVP_CIPHER* ciphers[2][3] = {};
    static const char* const names[2][3] = {{"AES-128-CBC", "AES-192-CBC", "AES-256-CBC"},
                                            {"AES-128-ECB", "AES-192-ECB", "AES-256-ECB"}};
    const std::size_t size = keyBytes == 16 ? 0 : keyBytes == 24 ? 1 : keyBytes == 32 ? 2 : 3;
    if (context == nullptr || size == 3) {
        return nullptr;
    }
    EVP_CIPHER*& cipher = ciphers[cbc ? 0 : 1][size];
    if (cipher == nullptr) {
        cipher = EVP_CIPHER_fetch(context, names[cbc ? 0 : 1][size], nullptr);
    }
    return cipher;
}

}  // namespace

std::uint32_t OpenSslCrypto::EncryptBlocks(const Key& k, std::uint8_t* buffer,
                                           std::uint32_t& length) {
    // The PKCS#7 padding is added here and the whole message encrypted in place in one call.
    const EVP_CIPHER* cipher = EvpCipher(k.secret.size(), k.mode == kCryptModeCbc);
    if (cipher == nullptr) {
        return kNteBadKey;
    }
    const std::uint32_t pad = 16 - length % 16;
    std::fill_n(buffer + length, pad, static_cast<std::uint8_t>(pad));
    length += pad;
    struct Free {
        void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
    };
    const std::unique_ptr<EVP_CIPHER_CTX, Free> ctx(EVP_CIPHER_CTX_new());
    int done = 0;
    if (!ctx ||
        EVP_EncryptInit_ex2(ctx.get(), cipher, k.secret.data(),
                            k.mode == kCryptModeCbc ? k.iv.data() : nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_EncryptUpdate(ctx.get(), buffer, &done, buffer, static_cast<int>(length)) != 1 ||
        done != static_cast<int>(length)) {
        return kNteBadData;
    }
    return 0;
}

std::uint32_t OpenSslCrypto::DecryptBlocks(Handle handle, const Key& k, std::uint8_t* buffer,
                                           std::uint32_t& length) {
    // AES-ECB over the blocks, then, in CBC, each block XORed with the cipher block before it
    // (the IV for the first), and the PKCS#7 padding checked here: the ECB context needs no new
    // set-up per message, which makes decrypting many short lines several times cheaper.
    if (!decryption_) {
        return kNteBadAlgid;  // an instance that only encrypts
    }
    scratch_.resize(length);
    if (const std::uint32_t code =
            decryption_->Decrypt(handle, k.algId, k.secret, buffer, scratch_.data(), length)) {
        return code;
    }
    if (k.mode == kCryptModeCbc) {
        // From the last block back, so that the cipher block before each is still in place.
        for (std::uint32_t at = length - 16; at >= 16; at -= 16) {
            Xor(scratch_.data() + at, buffer + at - 16, 16);
        }
        Xor(scratch_.data(), k.iv.data(), 16);
    }
    std::copy_n(scratch_.data(), length, buffer);
    const std::uint8_t pad = buffer[length - 1];
    if (pad == 0 || pad > 16) {
        return kNteBadData;
    }
    for (std::uint32_t i = length - pad; i < length; ++i) {
        if (buffer[i] != pad) {
            return kNteBadData;
        }
    }
    length -= pad;
    return 0;
}

std::uint32_t OpenSslCrypto::DestroyKey(Handle key) {
    if (decryption_) {
        decryption_->Forget(key);
    }
    return keys_.erase(key) == 1 ? 0 : kNteBadKey;
}

std::uint32_t OpenSslCrypto::ReleaseContext(Handle prov) {
    return contexts_.erase(prov) == 1 ? 0 : kNteBadUid;
}

std::string OpenSslCrypto::SystemMessage(std::uint32_t code, std::uint32_t /*languageId*/) {
    switch (code) {
        case kNteBadUid:
            return "プロバイダーのハンドルが不正です。\r\n";
        case kNteBadKey:
            return "キーが不正です。\r\n";
        case kNteBadLen:
            return "長さが不正です。\r\n";
        case kNteBadData:
            return "データが不正です。\r\n";
        case kNteBadVer:
            return "バージョンが不正です。\r\n";
        case kNteBadAlgid:
            return "アルゴリズム ID が不正です。\r\n";
        case kNteBadFlags:
            return "フラグが不正です。\r\n";
        case kNteBadType:
            return "種類の指定が不正です。\r\n";
        case kNteNoMemory:
            return "メモリが不足しています。\r\n";
        case kErrorInvalidParameter:
            return "パラメーターが間違っています。\r\n";
        case kErrorMoreData:
            return "データがさらにあります。\r\n";
        default:
            return {};
    }
}

}  // namespace qrx
