#pragma once

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Crypto.h"

namespace qrx::test {

// A toy cipher with the CryptoAPI call contract: XOR with the key and the IV, PKCS#7 padding.
// It lets the engine's logic be tested on every platform without a real AES.
struct ToyCrypto : ICryptoProvider {
    std::vector<std::string> calls;
    std::map<Handle, Bytes> keys;
    std::map<Handle, Bytes> ivs;
    std::set<Handle> contexts;
    Handle next = 100;
    std::map<std::uint32_t, std::string> texts{{kNteBadData, "Bad Data.\r\n"}};

    std::uint32_t AcquireContext(Handle& prov, std::uint32_t type, std::uint32_t flags) override {
        calls.push_back("acquire");
        if (type != kProvRsaAes || flags != kCryptVerifycontext) {
            return kNteBadFlags;
        }
        prov = ++next;
        contexts.insert(prov);
        return 0;
    }
    std::uint32_t ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t len,
                            Handle& key) override {
        calls.push_back("import");
        if (!contexts.contains(prov) || len < 12 || blob[0] != kPlaintextkeyblob) {
            return kNteBadData;
        }
        const std::uint32_t alg = blob[4] | (blob[5] << 8);
        const std::uint32_t size = blob[8];
        const std::uint32_t wanted = alg == kCalgAes128   ? 16
                                     : alg == kCalgAes192 ? 24
                                     : alg == kCalgAes256 ? 32
                                                          : 0;
        if (wanted == 0) {
            return kNteBadAlgid;
        }
        if (size != wanted || len != 12 + size) {
            return kNteBadData;
        }
        key = ++next;
        keys[key] = Bytes(blob + 12, blob + len);
        return 0;
    }
    std::uint32_t SetKeyParam(Handle key, std::uint32_t param, const std::uint8_t* data) override {
        calls.push_back("set " + std::to_string(param));
        if (!keys.contains(key)) {
            return kNteBadKey;
        }
        if (param == kKpIv) {
            ivs[key] = Bytes(data, data + 16);
        }
        return 0;
    }
    std::uint32_t Encrypt(Handle key, bool, std::uint8_t* buffer, std::uint32_t& length,
                          std::uint32_t size) override {
        calls.push_back(buffer == nullptr ? "encrypt-size" : "encrypt");
        const std::uint32_t padded = (length / 16 + 1) * 16;
        if (buffer == nullptr) {
            length = padded;
            return 0;
        }
        if (size < padded) {
            return kErrorMoreData;
        }
        const auto pad = static_cast<std::uint8_t>(padded - length);
        std::fill(buffer + length, buffer + padded, pad);
        for (std::uint32_t i = 0; i < padded; ++i) {
            buffer[i] ^=
                static_cast<std::uint8_t>(keys[key][i % keys[key].size()] ^ ivs[key][i % 16]);
        }
        length = padded;
        return 0;
    }
    std::uint32_t Decrypt(Handle key, bool, std::uint8_t* buffer, std::uint32_t& length) override {
        calls.push_back("decrypt");
        if (length == 0 || length % 16 != 0) {
            return kNteBadData;
        }
        for (std::uint32_t i = 0; i < length; ++i) {
            buffer[i] ^=
                static_cast<std::uint8_t>(keys[key][i % keys[key].size()] ^ ivs[key][i % 16]);
        }
        const std::uint8_t pad = buffer[length - 1];
        if (pad == 0 || pad > 16) {
            return kNteBadData;
        }
        length -= pad;
        return 0;
    }
    std::uint32_t DestroyKey(Handle key) override {
        calls.push_back("destroy");
        return keys.erase(key) == 1 ? 0 : kNteBadKey;
    }
    std::uint32_t ReleaseContext(Handle prov) override {
        calls.push_back("release");
        return contexts.erase(prov) == 1 ? 0 : kNteBadFlags;
    }
    std::string SystemMessage(std::uint32_t code, std::uint32_t) override {
        auto it = texts.find(code);
        return it == texts.end() ? std::string() : it->second;
    }
};

// Wraps a provider and makes the n-th call (counting from 1, every call counts) of one kind
// fail with a chosen code. Records the calls that reach the wrapped provider.
struct FaultyCrypto : ICryptoProvider {
    enum class Call { Acquire, Import, SetParam, Encrypt, Decrypt, Destroy, Release };

    FaultyCrypto(ICryptoProvider& wrapped, Call call, int n, std::uint32_t failure)
        : inner(wrapped), failing(call), nth(n), code(failure) {}

    ICryptoProvider& inner;
    Call failing;
    int nth;
    std::uint32_t code;
    std::map<Call, int> counts;
    std::vector<std::string> log;
    std::size_t failedAt = 0;  // index in `log` of the call that failed

    bool Fails(Call c, const char* name) {
        log.push_back(name);
        if (c == failing && ++counts[c] == nth) {
            failedAt = log.size() - 1;
            return true;
        }
        return false;
    }
    std::uint32_t AcquireContext(Handle& prov, std::uint32_t type, std::uint32_t flags) override {
        return Fails(Call::Acquire, "acquire") ? code : inner.AcquireContext(prov, type, flags);
    }
    std::uint32_t ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t len,
                            Handle& key) override {
        return Fails(Call::Import, "import") ? code : inner.ImportKey(prov, blob, len, key);
    }
    std::uint32_t SetKeyParam(Handle key, std::uint32_t param, const std::uint8_t* data) override {
        return Fails(Call::SetParam, "set") ? code : inner.SetKeyParam(key, param, data);
    }
    std::uint32_t Encrypt(Handle key, bool final, std::uint8_t* buffer, std::uint32_t& length,
                          std::uint32_t size) override {
        return Fails(Call::Encrypt, "encrypt") ? code
                                               : inner.Encrypt(key, final, buffer, length, size);
    }
    std::uint32_t Decrypt(Handle key, bool final, std::uint8_t* buffer,
                          std::uint32_t& length) override {
        return Fails(Call::Decrypt, "decrypt") ? code : inner.Decrypt(key, final, buffer, length);
    }
    std::uint32_t DestroyKey(Handle key) override {
        // The wrapped key is destroyed even when the failure is reported, as a real provider
        // would have done before the error surfaced.
        const std::uint32_t result = inner.DestroyKey(key);
        return Fails(Call::Destroy, "destroy") ? code : result;
    }
    std::uint32_t ReleaseContext(Handle prov) override {
        const std::uint32_t result = inner.ReleaseContext(prov);
        return Fails(Call::Release, "release") ? code : result;
    }
    std::string SystemMessage(std::uint32_t c, std::uint32_t lang) override {
        return inner.SystemMessage(c, lang);
    }
};

}  // namespace qrx::test
