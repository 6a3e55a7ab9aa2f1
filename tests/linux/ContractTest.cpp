// The shared contracts over the Linux backends, and what only the mbed TLS provider shows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/LinuxServices.h"
#include "platform/linux/MbedTlsKeyedHash.h"
#include "tests/shared/CipherContracts.h"
#include "tests/shared/DecoderContract.h"
#include "tests/shared/SystemContracts.h"

namespace qrx::test {
namespace {

// The program's services with the decoder's keyed hash: both use the same library.
struct DecryptingServices : LinuxServices {
    MbedTlsKeyedHash hash;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Linux, CryptoContract, MbedTlsCrypto);
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

// The status numbers of each call that mbed TLS serves, the other key lengths and ECB included.
TEST(MbedTlsProvider, AnswersEachCallWithCryptoApisCodes) {
    MbedTlsCrypto crypto;
    ICryptoProvider::Handle prov = 0;
    ASSERT_EQ(crypto.AcquireContext(prov, 24, 0xF0000000), 0u);
    // AES-128 under the key of NIST SP 800-38A, F.1.1; blob[4] is the low byte of the algorithm.
    Bytes blob = Hex("080200000e660000100000002b7e151628aed2a6abf7158809cf4f3c");
    ICryptoProvider::Handle key = 0;
    const struct {
        std::uint8_t alg;
        std::uint32_t size;
        std::uint32_t code;
    } imports[] = {{0x0E, 16, 0},
                   {0x0F, 16, ICryptoProvider::kNteBadData},
                   {0x10, 16, ICryptoProvider::kNteBadData},
                   {0x00, 16, ICryptoProvider::kNteBadAlgid},
                   {0x0E, 12, ICryptoProvider::kNteBadData}};
    for (const auto& row : imports) {
        blob[4] = row.alg;
        EXPECT_EQ(crypto.ImportKey(prov, blob.data(), 12 + row.size, key), row.code)
            << int(row.alg) << " " << row.size;
    }
    const std::uint8_t ecb[4] = {2, 0, 0, 0};
    ASSERT_EQ(crypto.SetKeyParam(key, 4, ecb), 0u);
    Bytes buffer = Hex("6bc1bee22e409f96e93d7e117393172a");
    buffer.resize(32);
    std::uint32_t length = 16;
    EXPECT_EQ(crypto.Encrypt(key, false, buffer.data(), length, 32), ICryptoProvider::kNteBadFlags);
    EXPECT_EQ(crypto.Encrypt(key, true, buffer.data(), length, 31),
              ICryptoProvider::kErrorMoreData);
    EXPECT_EQ(length, 32u);
    length = 16;
    ASSERT_EQ(crypto.Encrypt(key, true, buffer.data(), length, 32), 0u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 16), Hex("3ad77bb40d7a3660a89ecaf32466ef97"));
    // A ragged length, and a last block whose padding is not PKCS#7, leave the buffer alone.
    const Bytes sent = buffer;
    length = 31;
    EXPECT_EQ(crypto.Decrypt(key, true, buffer.data(), length), ICryptoProvider::kNteBadData);
    length = 16;
    EXPECT_EQ(crypto.Decrypt(key, true, buffer.data(), length), ICryptoProvider::kNteBadData);
    EXPECT_EQ(buffer, sent);
    length = 32;
    ASSERT_EQ(crypto.Decrypt(key, true, buffer.data(), length), 0u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length),
              Hex("6bc1bee22e409f96e93d7e117393172a"));
    EXPECT_EQ(crypto.DestroyKey(key), 0u);
    EXPECT_EQ(crypto.Decrypt(key, true, buffer.data(), length), ICryptoProvider::kNteBadKey);
    EXPECT_EQ(crypto.ReleaseContext(prov), 0u);
    EXPECT_NE(crypto.ReleaseContext(prov), 0u);
    EXPECT_TRUE(crypto.SystemMessage(ICryptoProvider::kNteBadData, 0x400).ends_with("\r\n"));
    EXPECT_EQ(crypto.SystemMessage(12345, 0x400), "");
}

}  // namespace
}  // namespace qrx::test
