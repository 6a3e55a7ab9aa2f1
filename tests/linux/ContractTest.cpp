// The shared contracts over the Linux backends, and what only the OpenSSL provider shows.
#include <gtest/gtest.h>

#include "platform/linux/LinuxServices.h"
#include "platform/linux/OpenSslKeyedHash.h"
#include "tests/shared/CipherContracts.h"
#include "tests/shared/DecoderContract.h"
#include "tests/shared/SystemContracts.h"

namespace qrx::test {
namespace {

// The program only encrypts; these decrypt too, as the decoder does.
struct DecryptingOpenSsl : OpenSslCrypto {
    DecryptingOpenSsl() : OpenSslCrypto(EvpDecryption()) {}
};
struct DecryptingServices : LinuxServices {
    DecryptingServices() { crypto.DecryptWith(EvpDecryption()); }
    OpenSslKeyedHash hash;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Linux, CryptoContract, DecryptingOpenSsl);
INSTANTIATE_TYPED_TEST_SUITE_P(Linux, CodecContract, IconvCodec);
INSTANTIATE_TYPED_TEST_SUITE_P(Linux, CipherLinesContract, DecryptingServices);
INSTANTIATE_TYPED_TEST_SUITE_P(Linux, DecoderContract, DecryptingServices);
INSTANTIATE_TYPED_TEST_SUITE_P(Linux, FileSystemContract, PosixFileSystem);

// The test program's own path, as the program's entry point would resolve it.
struct RunningAppInfo : LinuxAppInfo {
    RunningAppInfo() : LinuxAppInfo(nullptr) {}
};
INSTANTIATE_TYPED_TEST_SUITE_P(Linux, AppInfoContract, RunningAppInfo);

// An instance made without decryption, as the program's, encrypts and answers a bad algorithm
// to Decrypt.
TEST(OpenSslProvider, ReadsKeyBlobsAsCryptoApiDoes) {
    OpenSslCrypto crypto;
    ICryptoProvider::Handle prov = 0;
    ASSERT_EQ(crypto.AcquireContext(prov, 24, 0xF0000000), 0u);
    Bytes blob{8, 2, 0, 0, 0x0E, 0x66, 0, 0, 16, 0, 0, 0};
    blob.resize(28, 1);
    ICryptoProvider::Handle key = 0;
    EXPECT_EQ(crypto.ImportKey(prov, blob.data(), 28, key), 0u);
    std::uint8_t buffer[32] = {};
    std::uint32_t length = 5;
    EXPECT_EQ(crypto.Encrypt(key, true, buffer, length, sizeof buffer), 0u);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(crypto.Decrypt(key, true, buffer, length), ICryptoProvider::kNteBadAlgid);
    blob[4] = 0;
    blob[5] = 0;
    EXPECT_EQ(crypto.ImportKey(prov, blob.data(), 28, key), ICryptoProvider::kNteBadAlgid);
    blob[4] = 0x10;  // AES-256 wants 32 bytes
    blob[5] = 0x66;
    EXPECT_EQ(crypto.ImportKey(prov, blob.data(), 28, key), ICryptoProvider::kNteBadData);
    EXPECT_EQ(crypto.ReleaseContext(prov), 0u);
    EXPECT_NE(crypto.ReleaseContext(prov), 0u);
    EXPECT_EQ(crypto.SystemMessage(ICryptoProvider::kNteBadData, 0x400)
                  .substr(crypto.SystemMessage(ICryptoProvider::kNteBadData, 0x400).size() - 2),
              "\r\n");
    EXPECT_EQ(crypto.SystemMessage(12345, 0x400), "");
}

}  // namespace
}  // namespace qrx::test
