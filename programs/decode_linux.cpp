// The support decoder on Linux: OpenSSL, iconv and the POSIX file calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <archive.h>

#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <iostream>
#include <memory>

#include "platform/SystemFailure.h"
#include "platform/linux/Eintr.h"
#include "platform/linux/IconvCodec.h"
#include "platform/linux/MbedTlsCrypto.h"
#include "platform/linux/MbedTlsKeyedHash.h"
#include "tools/decode/Decoder.h"
#include "tools/decode/inputs/ArchiveTree.h"

namespace {

// The failure of the call that just failed, said of `step`.
qrx::Failure Failed(const std::string& step) {
    return qrx::FromErrno(errno).In(step);
}

class FdInput : public qrx::IByteInput {
  public:
    explicit FdInput(int fd, bool owned) : fd_(fd), owned_(owned) {}
    ~FdInput() override {
        if (owned_) {
            close(fd_);
        }
    }
    qrx::Result<std::size_t> Read(char* buffer, std::size_t capacity) override {
        const ssize_t n = qrx::RetryOnEintr([&] { return read(fd_, buffer, capacity); });
        if (n < 0) {
            return Failed("読み込めません");
        }
        return static_cast<std::size_t>(n);
    }

  private:
    int fd_;
    bool owned_;
};

class FdOutput : public qrx::IByteOutput {
  public:
    explicit FdOutput(int fd = STDOUT_FILENO) : fd_(fd) {}
    ~FdOutput() override {
        if (fd_ != STDOUT_FILENO) {
            close(fd_);
        }
    }
    qrx::Done Write(const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = qrx::RetryOnEintr([&] { return write(fd_, data, size); });
            if (n < 0) {
                return qrx::FromErrno(errno);
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return {};
    }

  private:
    int fd_;
};

// Folders and archives, and the desk's own files (--mask-map) made new: O_EXCL never opens a
// file, link or FIFO that is already there, whoever made it.
class DeskTree : public qrx::ArchiveTree {
  public:
    DeskTree()
        : ArchiveTree([](archive* a, const std::string& path) {
              return archive_read_open_filename(a, path.c_str(), 64 * 1024);
          }) {}
    qrx::Result<std::unique_ptr<qrx::IByteOutput>> CreateNew(const std::string& path) override {
        const int fd = qrx::RetryOnEintr([&] {
            return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        });
        if (fd < 0) {
            return Failed(errno == EEXIST ? "既にあるファイルには書きません" : "作れません");
        }
        fchmod(fd, 0600);
        return std::make_unique<FdOutput>(fd);
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // libarchive gives member names in the locale's character set: UTF-8 whatever the desk's
    // locale is (the C locale of a service or a cron job would turn Japanese names into nothing).
    if (std::setlocale(LC_CTYPE, "") == nullptr || std::string(nl_langinfo(CODESET)) != "UTF-8") {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    std::unique_ptr<qrx::MbedTlsCrypto> crypto;
    std::unique_ptr<qrx::IconvCodec> codec;
    try {
        crypto = std::make_unique<qrx::MbedTlsCrypto>();
        codec = std::make_unique<qrx::IconvCodec>();
    } catch (const std::exception& e) {
        std::cerr << "QRX_PC_INFO_DECODE: " << e.what() << std::endl;
        return 2;
    }
    FdOutput out;
    qrx::MbedTlsKeyedHash hash;
    DeskTree tree;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return qrx::RunDecoder(
        args, *crypto, *codec, hash,
        [](const std::string& path) -> qrx::Result<std::unique_ptr<qrx::IByteInput>> {
            if (path == "-") {
                return std::make_unique<FdInput>(STDIN_FILENO, false);
            }
            // Without blocking (a FIFO with no writer would wait for ever), and regular files
            // only (a device reads for ever).
            const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
            if (fd < 0) {
                return Failed("開けません");
            }
            struct stat st {};
            if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                close(fd);
                return qrx::Failure{qrx::FailureKind::NotRegular,
                                    "通常のファイルではありません (FIFO やデバイスは読みません)",
                                    {}};
            }
            return std::make_unique<FdInput>(fd, true);
        },
        tree, out, std::cerr);
}
