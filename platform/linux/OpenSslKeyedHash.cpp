#include "platform/linux/OpenSslKeyedHash.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "platform/AppError.h"

namespace qrx {

Digest OpenSslKeyedHash::HmacSha256(std::string_view key, std::string_view data) {
    Digest out{};
    unsigned int length = 0;
    // A key of no bytes still needs a valid pointer.
    static const unsigned char kNoKey = 0;
    const void* k = key.empty() ? static_cast<const void*>(&kNoKey) : key.data();
    if (HMAC(EVP_sha256(), k, static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(data.data()), data.size(), out.data(),
             &length) == nullptr ||
        length != out.size()) {
        throw AppError{-1, "OpenSslKeyedHash", "HMAC-SHA256 を計算できません"};
    }
    return out;
}

}  // namespace qrx
