#include "platform/windows/WinKeyedHash.h"

#include <windows.h>
// bcrypt.h needs the types of windows.h.
#include <bcrypt.h>

#include <cstdio>

#include "platform/AppError.h"

namespace qrx {

namespace {

[[noreturn]] void Fail(const char* call, NTSTATUS status) {
    char text[64];
    std::snprintf(text, sizeof text, "%s: 0x%08lX", call, static_cast<unsigned long>(status));
    throw AppError{ToSigned(static_cast<std::uint32_t>(status)), "WinKeyedHash",
                   std::string("HMAC-SHA256 を計算できません (") + text + ")"};
}

PUCHAR Bytes(std::string_view s) {
    // CNG takes the input through a non-const pointer but does not write it.
    static UCHAR none = 0;
    return s.empty() ? &none : reinterpret_cast<PUCHAR>(const_cast<char*>(s.data()));
}

}  // namespace

WinKeyedHash::WinKeyedHash() = default;

WinKeyedHash::~WinKeyedHash() {
    if (algorithm_ != nullptr) {
        BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(algorithm_), 0);
    }
}

Digest WinKeyedHash::HmacSha256(std::string_view key, std::string_view data) {
    if (algorithm_ == nullptr) {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        const NTSTATUS s = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr,
                                                       BCRYPT_ALG_HANDLE_HMAC_FLAG);
        if (s < 0) {
            Fail("BCryptOpenAlgorithmProvider", s);
        }
        algorithm_ = algorithm;
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    NTSTATUS s = BCryptCreateHash(static_cast<BCRYPT_ALG_HANDLE>(algorithm_), &hash, nullptr, 0,
                                  Bytes(key), static_cast<ULONG>(key.size()), 0);
    if (s < 0) {
        Fail("BCryptCreateHash", s);
    }
    Digest out{};
    s = BCryptHashData(hash, Bytes(data), static_cast<ULONG>(data.size()), 0);
    if (s >= 0) {
        s = BCryptFinishHash(hash, out.data(), static_cast<ULONG>(out.size()), 0);
    }
    BCryptDestroyHash(hash);
    if (s < 0) {
        Fail("BCryptHashData", s);
    }
    return out;
}

}  // namespace qrx
