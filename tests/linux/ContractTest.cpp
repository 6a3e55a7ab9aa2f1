// The shared contracts over the Linux backends, and what only the OpenSSL provider shows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
// What may stand at a file's name on Linux besides a regular file.
struct FifoWithAReader : NamedOnly {
    int reader = -1;
    explicit FifoWithAReader(std::filesystem::path p) : NamedOnly(std::move(p)) {
        if (mkfifo(path.c_str(), 0600) == 0) {
            reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        }
    }
    ~FifoWithAReader() override { close(reader); }
    bool Reached() const override {
        char byte = 0;
        return reader < 0 || read(reader, &byte, 1) > 0;
    }
};
using Dir = const std::filesystem::path&;
template <>
std::vector<NotAFileKind> NotAFileKinds<PosixFileSystem>() {
    return {
        {"a link to a regular file",
         [](Dir dir, Dir kept) -> std::unique_ptr<NotAFile> {
             std::filesystem::create_symlink(kept, dir / "file-link.dat");
             return std::make_unique<NamedOnly>(dir / "file-link.dat");
         }},
        {"a link to a device",
         [](Dir dir, Dir) -> std::unique_ptr<NotAFile> {
             std::filesystem::create_symlink("/dev/null", dir / "device-link.dat");
             return std::make_unique<NamedOnly>(dir / "device-link.dat");
         }},
        {"a folder",
         [](Dir dir, Dir) -> std::unique_ptr<NotAFile> {
             std::filesystem::create_directory(dir / "folder.dat");
             return std::make_unique<NamedOnly>(dir / "folder.dat");
         }},
        {"a fifo without a reader",
         [](Dir dir, Dir) -> std::unique_ptr<NotAFile> {
             if (mkfifo((dir / "fifo.dat").c_str(), 0600) != 0) {
                 return nullptr;
             }
             return std::make_unique<NamedOnly>(dir / "fifo.dat");
         }},
        {"a fifo with a reader",
         [](Dir dir, Dir) -> std::unique_ptr<NotAFile> {
             return std::make_unique<FifoWithAReader>(dir / "read-fifo.dat");
         }},
    };
}
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
