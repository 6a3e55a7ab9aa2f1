#include "platform/linux/MbedTlsKeyedHash.h"

#include <mbedtls/md.h>

#include "platform/AppError.h"

namespace qrx {

Digest MbedTlsKeyedHash::HmacSha256(std::string_view key, std::string_view data) {
    Digest out{};
    // A key of no bytes still needs a valid pointer.
    static const unsigned char kNoKey = 0;
    const auto* k = key.empty() ? &kNoKey : reinterpret_cast<const unsigned char*>(key.data());
    const mbedtls_md_info_t* sha256 = mbedtls_md_info_from_type(MBEDTLS_MD_SHA256);
    if (sha256 == nullptr ||
        mbedtls_md_hmac(sha256, k, key.size(), reinterpret_cast<const unsigned char*>(data.data()),
                        data.size(), out.data()) != 0) {
        throw AppError{-1, "MbedTlsKeyedHash", "HMAC-SHA256 を計算できません"};
    }
    return out;
}

}  // namespace qrx
