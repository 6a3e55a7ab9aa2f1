#include "platform/linux/MbedTlsCrypto.h"

#include <mbedtls/aes.h>

#include <algorithm>

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

}  // namespace

std::uint32_t MbedTlsCrypto::AcquireContext(Handle& prov, std::uint32_t provType,
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

std::uint32_t MbedTlsCrypto::ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t blobLen,
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
    k.secret.assign(blob + 12, blob + 12 + size);
    key = ++next_;
    keys_[key] = std::move(k);
    return 0;
}

std::uint32_t MbedTlsCrypto::SetKeyParam(Handle key, std::uint32_t param,
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

std::uint32_t MbedTlsCrypto::Encrypt(Handle key, bool final, std::uint8_t* buffer,
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

std::uint32_t MbedTlsCrypto::Decrypt(Handle key, bool final, std::uint8_t* buffer,
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
    return DecryptBlocks(it->second, buffer, length);
}

// The key schedule of the last message, kept for the next under the same secret and direction:
// a run encrypts every record, and the decoder decrypts every line, under one key, each message
// through a key handle of its own. The context is wiped when it is set up anew or goes.
struct MbedTlsCrypto::Schedule {
    Bytes secret;
    bool encrypt = false;
    bool ready = false;
    mbedtls_aes_context ctx;
    Schedule() { mbedtls_aes_init(&ctx); }
    ~Schedule() { mbedtls_aes_free(&ctx); }
};

void MbedTlsCrypto::ScheduleFree::operator()(Schedule* s) const {
    delete s;
}

std::uint32_t MbedTlsCrypto::RunAes(const Key& k, bool encrypt, const std::uint8_t* in,
                                    std::uint8_t* out, std::uint32_t length) {
    if (!schedule_) {
        schedule_.reset(new Schedule);
    }
    Schedule& s = *schedule_;
    if (!s.ready || s.encrypt != encrypt || s.secret != k.secret) {
        s.ready = false;
        mbedtls_aes_free(&s.ctx);
        mbedtls_aes_init(&s.ctx);
        const auto bits = static_cast<unsigned int>(k.secret.size() * 8);
        if ((encrypt ? mbedtls_aes_setkey_enc(&s.ctx, k.secret.data(), bits)
                     : mbedtls_aes_setkey_dec(&s.ctx, k.secret.data(), bits)) != 0) {
            return kNteBadKey;
        }
        s.secret = k.secret;
        s.encrypt = encrypt;
        s.ready = true;
    }
    const int direction = encrypt ? MBEDTLS_AES_ENCRYPT : MBEDTLS_AES_DECRYPT;
    if (k.mode == kCryptModeCbc) {
        // With a copy of the key's IV: it is the same for every message, as CryptoAPI's is
        // after a final call.
        std::array<std::uint8_t, 16> iv = k.iv;
        return mbedtls_aes_crypt_cbc(&s.ctx, direction, length, iv.data(), in, out) == 0
                   ? 0
                   : kNteBadData;
    }
    for (std::uint32_t at = 0; at < length; at += 16) {
        if (mbedtls_aes_crypt_ecb(&s.ctx, direction, in + at, out + at) != 0) {
            return kNteBadData;
        }
    }
    return 0;
}

std::uint32_t MbedTlsCrypto::EncryptBlocks(const Key& k, std::uint8_t* buffer,
                                           std::uint32_t& length) {
    // The PKCS#7 padding is added here and the whole message encrypted in place.
    const std::uint32_t pad = 16 - length % 16;
    std::fill_n(buffer + length, pad, static_cast<std::uint8_t>(pad));
    length += pad;
    return RunAes(k, true, buffer, buffer, length);
}

std::uint32_t MbedTlsCrypto::DecryptBlocks(const Key& k, std::uint8_t* buffer,
                                           std::uint32_t& length) {
    // Into a buffer of its own, so that a message that fails leaves the caller's as it was.
    scratch_.resize(length);
    if (const std::uint32_t code = RunAes(k, false, buffer, scratch_.data(), length)) {
        return code;
    }
    const std::uint8_t pad = scratch_[length - 1];
    if (pad == 0 || pad > 16) {
        return kNteBadData;
    }
    for (std::uint32_t i = length - pad; i < length; ++i) {
        if (scratch_[i] != pad) {
            return kNteBadData;
        }
    }
    length -= pad;
    std::copy_n(scratch_.data(), length, buffer);
    return 0;
}

std::uint32_t MbedTlsCrypto::DestroyKey(Handle key) {
    return keys_.erase(key) == 1 ? 0 : kNteBadKey;
}

std::uint32_t MbedTlsCrypto::ReleaseContext(Handle prov) {
    return contexts_.erase(prov) == 1 ? 0 : kNteBadUid;
}

std::string MbedTlsCrypto::SystemMessage(std::uint32_t code, std::uint32_t /*languageId*/) {
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
