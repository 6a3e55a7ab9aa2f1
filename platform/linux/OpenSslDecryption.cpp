#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <memory>

#include "platform/AppError.h"
#include "platform/linux/OpenSslCrypto.h"

namespace qrx {

namespace {

// AES-ECB without padding for a key length, fetched from the provider once: fetching it anew
// for every call costs more than decrypting a record.
const EVP_CIPHER* EcbOf(std::uint32_t algId) {
    static const struct Ciphers {
        EVP_CIPHER* table[3];
        Ciphers() {
            // The process needs no clean-up of OpenSSL at exit, which costs more than a run's
            // decryption; the system's configuration is read, as every OpenSSL program does.
            OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CONFIG | OPENSSL_INIT_NO_ATEXIT, nullptr);
            const char* names[3] = {"AES-128-ECB", "AES-192-ECB", "AES-256-ECB"};
            for (int a = 0; a < 3; ++a) {
                table[a] = EVP_CIPHER_fetch(nullptr, names[a], nullptr);
            }
        }
        ~Ciphers() {
            for (EVP_CIPHER* c : table) {
                EVP_CIPHER_free(c);
            }
        }
    } ciphers;
    return ciphers.table[algId == ICryptoProvider::kCalgAes128   ? 0
                         : algId == ICryptoProvider::kCalgAes192 ? 1
                                                                 : 2];
}

class EvpEcb : public OpenSslCrypto::BlockDecryption {
  public:
    std::uint32_t Decrypt(ICryptoProvider::Handle key, std::uint32_t algId, const Bytes& secret,
                          const std::uint8_t* in, std::uint8_t* out,
                          std::uint32_t length) override {
        if (!ctx_) {
            ctx_.reset(EVP_CIPHER_CTX_new());
            if (!ctx_) {
                return ICryptoProvider::kNteNoMemory;
            }
        }
        EVP_CIPHER_CTX* ctx = ctx_.get();
        // The key schedule stays in the context for the next message under the same key.
        if (key_ != key) {
            key_ = 0;
            const EVP_CIPHER* cipher = EcbOf(algId);
            if (cipher == nullptr) {
                return ICryptoProvider::kNteBadAlgid;
            }
            if (EVP_CIPHER_CTX_reset(ctx) != 1 ||
                EVP_DecryptInit_ex(ctx, cipher, nullptr, secret.data(), nullptr) != 1 ||
                EVP_CIPHER_CTX_set_padding(ctx, 0) != 1) {
                return ICryptoProvider::kNteBadData;
            }
            key_ = key;
        }
        int done = 0;
        if (EVP_DecryptUpdate(ctx, out, &done, in, static_cast<int>(length)) != 1 ||
            done != static_cast<int>(length)) {
            return ICryptoProvider::kNteBadData;
        }
        return 0;
    }

    void Forget(ICryptoProvider::Handle key) override {
        if (key_ == key) {
            key_ = 0;
        }
    }

  private:
    struct Free {
        void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
    };
    std::unique_ptr<EVP_CIPHER_CTX, Free> ctx_;
    ICryptoProvider::Handle key_ = 0;
};

}  // namespace

std::unique_ptr<OpenSslCrypto::BlockDecryption> EvpDecryption() {
    if (EcbOf(ICryptoProvider::kCalgAes128) == nullptr) {
        throw AppError(ToSigned(0x80090017), "OpenSSL", "AES-128 を使用できません。");
    }
    return std::make_unique<EvpEcb>();
}

}  // namespace qrx
