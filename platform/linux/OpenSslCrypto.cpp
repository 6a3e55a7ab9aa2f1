#include "platform/linux/OpenSslCrypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
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

// The cipher for an algorithm and mode, fetched from the provider once: fetching it anew for
// every call costs more than the encryption of a record.
const EVP_CIPHER* CipherOf(std::uint32_t algId, std::uint32_t mode) {
    static const struct Ciphers {
        EVP_CIPHER* table[3][2];
        Ciphers() {
            // The process needs no clean-up of OpenSSL at exit, which costs more than a run's
            // encryption; the system's configuration is still read.
            OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG | OPENSSL_INIT_NO_ATEXIT, nullptr);
            const char* names[3][2] = {{"AES-128-CBC", "AES-128-ECB"},
                                       {"AES-192-CBC", "AES-192-ECB"},
                                       {"AES-256-CBC", "AES-256-ECB"}};
            for (int a = 0; a < 3; ++a) {
                for (int m = 0; m < 2; ++m) {
                    table[a][m] = EVP_CIPHER_fetch(nullptr, names[a][m], nullptr);
                }
            }
        }
        ~Ciphers() {
            for (auto& row : table) {
                for (EVP_CIPHER* c : row) {
                    EVP_CIPHER_free(c);
                }
            }
        }
    } ciphers;
    const int a = algId == ICryptoProvider::kCalgAes128   ? 0
                  : algId == ICryptoProvider::kCalgAes192 ? 1
                                                          : 2;
    return ciphers.table[a][mode == ICryptoProvider::kCryptModeCbc ? 0 : 1];
}

}  // namespace

OpenSslCrypto::OpenSslCrypto() {
    if (CipherOf(kCalgAes128, kCryptModeCbc) == nullptr) {
        throw AppError(ToSigned(0x80090017), "OpenSSL", "AES-128-CBC を使用できません。");
    }
}

void OpenSslCrypto::CtxFree::operator()(void* ctx) const {
    EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(ctx));
}

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
    return Transform(key, it->second, true, buffer, length);
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
    return Transform(key, it->second, false, buffer, length);
}

std::uint32_t OpenSslCrypto::DecryptCbc(Handle handle, const Key& k, std::uint8_t* buffer,
                                        std::uint32_t& length) {
    // CBC as AES-ECB over the blocks, each then XORed with the block before it (the IV for the
    // first), and the PKCS#7 padding checked here: the ECB context needs no new set-up per
    // message, which makes decrypting many short lines several times cheaper.
    if (!ecb_) {
        ecb_.reset(EVP_CIPHER_CTX_new());
    }
    auto* ctx = static_cast<EVP_CIPHER_CTX*>(ecb_.get());
    if (ctx == nullptr) {
        return kNteNoMemory;
    }
    if (ecbKey_ != handle) {
        ecbKey_ = 0;
        if (EVP_CIPHER_CTX_reset(ctx) != 1 ||
            EVP_DecryptInit_ex(ctx, CipherOf(k.algId, kCryptModeEcb), nullptr, k.secret.data(),
                               nullptr) != 1 ||
            EVP_CIPHER_CTX_set_padding(ctx, 0) != 1) {
            return kNteBadData;
        }
        ecbKey_ = handle;
    }
    scratch_.resize(length);
    int out = 0;
    if (EVP_DecryptUpdate(ctx, scratch_.data(), &out, buffer, static_cast<int>(length)) != 1 ||
        out != static_cast<int>(length)) {
        return kNteBadData;
    }
    for (std::uint32_t i = 0; i < 16; ++i) {
        scratch_[i] ^= k.iv[i];
    }
    for (std::uint32_t i = 16; i < length; ++i) {
        scratch_[i] ^= buffer[i - 16];
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

std::uint32_t OpenSslCrypto::Transform(Handle handle, const Key& k, bool encrypt,
                                       std::uint8_t* buffer, std::uint32_t& length) {
    if (!encrypt && k.mode == kCryptModeCbc) {
        return DecryptCbc(handle, k, buffer, length);
    }
    if (!ctx_) {
        ctx_.reset(EVP_CIPHER_CTX_new());
    }
    auto* ctx = static_cast<EVP_CIPHER_CTX*>(ctx_.get());
    if (ctx == nullptr) {
        return kNteNoMemory;
    }
    // The context keeps the key schedule of the last key, direction and mode; a call with the
    // same ones only sets the IV.
    const Setup setup{handle, k.mode, encrypt};
    bool ready = ctxSetup_ == setup;
    if (!ready) {
        ctxSetup_ = Setup{};
        ready = EVP_CIPHER_CTX_reset(ctx) == 1 &&
                EVP_CipherInit_ex(ctx, CipherOf(k.algId, k.mode), nullptr, k.secret.data(),
                                  k.iv.data(), encrypt ? 1 : 0) == 1;
        if (ready) {
            ctxSetup_ = setup;
        }
    } else {
        ready = EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, k.iv.data(), -1) == 1;
    }
    int out1 = 0;
    int out2 = 0;
    if (!ready || EVP_CipherUpdate(ctx, buffer, &out1, buffer, static_cast<int>(length)) != 1 ||
        EVP_CipherFinal_ex(ctx, buffer + out1, &out2) != 1) {
        return kNteBadData;
    }
    length = static_cast<std::uint32_t>(out1 + out2);
    return 0;
}

std::uint32_t OpenSslCrypto::DestroyKey(Handle key) {
    if (ctxSetup_.key == key) {
        ctxSetup_ = Setup{};
    }
    if (ecbKey_ == key) {
        ecbKey_ = 0;
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
