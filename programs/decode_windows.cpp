// The support decoder on Windows: CryptoAPI, the system's code page 932, the C runtime's file
// calls and libarchive; a console window gets the text as UTF-16 characters.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <archive.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/Utf8.h"
#include "platform/windows/WinCodec.h"
#include "platform/windows/WinCrypto.h"
#include "platform/windows/WinDesktopShell.h"
#include "platform/windows/WinKeyedHash.h"
#include "platform/windows/WinText.h"
#include "tools/decode/DesktopStart.h"
#include "tools/decode/inputs/ArchiveTree.h"

namespace {

std::string Reason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// The length of the part of `text` that ends with a whole UTF-8 character.
std::size_t WholeCharacters(const std::string& text) {
    const std::size_t n = text.size();
    for (std::size_t back = 1; back <= 4 && back <= n; ++back) {
        const std::size_t at = n - back;
        if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            continue;  // a continuation byte: look further back for the lead byte
        }
        // A lead byte whose character the text does not finish yet.
        const qrx::Utf8Char ch = qrx::DecodeUtf8(text, at);
        const bool cut =
            !ch.valid && ch.length == back && static_cast<unsigned char>(text[at]) >= 0xC2;
        return cut ? at : n;
    }
    return n;
}

// UTF-8 text to a console window as UTF-16 characters through WriteConsoleW: the console's
// code page is neither read nor changed.
class ConsoleBuffer : public std::streambuf {
  public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}
    ~ConsoleBuffer() override { sync(); }
    ConsoleBuffer(const ConsoleBuffer&) = delete;
    ConsoleBuffer& operator=(const ConsoleBuffer&) = delete;

  protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            pending_.push_back(traits_type::to_char_type(c));
            if (c == '\n' || pending_.size() >= 4096) {
                Write();
            }
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        pending_.append(s, static_cast<std::size_t>(n));
        if (pending_.size() >= 4096) {
            Write();
        }
        return n;
    }
    int sync() override { return Write() ? 0 : -1; }

  private:
    bool Write() {
        const std::size_t whole = WholeCharacters(pending_);
        const std::wstring text = qrx::Widen(pending_.substr(0, whole));
        pending_.erase(0, whole);
        std::size_t done = 0;
        while (done < text.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
            if (!WriteConsoleW(console_, text.data() + done, chunk, &written, nullptr) ||
                written == 0) {
                return false;
            }
            done += written;
        }
        return true;
    }

    HANDLE console_;
    std::string pending_;
};

// A stream over the console when `handle` is one; otherwise nullptr, and the UTF-8 bytes go to
// the file or pipe unchanged.
std::unique_ptr<ConsoleBuffer> ConsoleFor(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        GetFileType(handle) != FILE_TYPE_CHAR || !GetConsoleMode(handle, &mode)) {
        return nullptr;
    }
    return std::make_unique<ConsoleBuffer>(handle);
}

class FdInput : public qrx::IByteInput {
  public:
    explicit FdInput(int fd, bool owned) : fd_(fd), owned_(owned) {}
    ~FdInput() override {
        if (owned_) {
            _close(fd_);
        }
    }
    bool Read(char* buffer, std::size_t capacity, std::size_t& got, std::string& error) override {
        const int n = _read(fd_, buffer, static_cast<unsigned>(capacity));
        if (n < 0) {
            error = Reason("読み込めません");
            return false;
        }
        got = static_cast<std::size_t>(n);
        return true;
    }

  private:
    int fd_;
    bool owned_;
};

// Writes all of `data` to a descriptor, however many writes that takes.
bool WriteAll(int fd, const char* data, std::size_t size, std::string& error) {
    while (size > 0) {
        const int n = _write(fd, data, static_cast<unsigned>(size));
        if (n <= 0) {
            error = n < 0 ? std::strerror(errno) : "書き込めません";
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Standard output: the console's buffer when it is a console, else the bytes as they are.
class StdOutput : public qrx::IByteOutput {
  public:
    explicit StdOutput(ConsoleBuffer* console) : console_(console) {}
    bool Write(const char* data, std::size_t size, std::string& error) override {
        if (console_ != nullptr) {
            console_->sputn(data, static_cast<std::streamsize>(size));
            if (console_->pubsync() != 0) {
                error = "コンソールに書き込めません";
                return false;
            }
            return true;
        }
        return WriteAll(_fileno(stdout), data, size, error);
    }

  private:
    ConsoleBuffer* console_;
};

// A file of the desk's own (--mask-map) written through its descriptor.
class FileOutput : public qrx::IByteOutput {
  public:
    explicit FileOutput(int fd) : fd_(fd) {}
    ~FileOutput() override { _close(fd_); }
    bool Write(const char* data, std::size_t size, std::string& error) override {
        return WriteAll(fd_, data, size, error);
    }

  private:
    int fd_;
};

// Folders and archives, and the desk's own files made new: _O_EXCL never opens what is already
// there.
class DeskTree : public qrx::ArchiveTree {
  public:
    DeskTree()
        : ArchiveTree([](archive* a, const std::string& path) {
              return archive_read_open_filename_w(a, qrx::Widen(path).c_str(), 64 * 1024);
          }) {}
    // The C runtime does not tell links and junctions from what they point to: their reparse
    // point does (also for a Unix link seen through Wine). They are not followed.
    bool List(const std::string& folder, std::vector<Entry>& entries, std::string& error) override {
        if (!ArchiveTree::List(folder, entries, error)) {
            return false;
        }
        for (Entry& e : entries) {
            const DWORD attributes = GetFileAttributesW(qrx::Widen(folder + "\\" + e.name).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                e.folder = e.regular = false;
            }
        }
        return true;
    }
    std::unique_ptr<qrx::IByteOutput> CreateNew(const std::string& path,
                                                std::string& error) override {
        const int fd = _wopen(qrx::Widen(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                              _S_IREAD | _S_IWRITE);
        if (fd < 0) {
            error = Reason(errno == EEXIST ? "既にあるファイルには書きません" : "作れません");
            return nullptr;
        }
        return std::make_unique<FileOutput>(fd);
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Data files are read as bytes; files and pipes get the output as UTF-8 bytes.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // libarchive takes member names in the C locale as bytes it cannot convert: with the
    // system's locale it gives them as UTF-16, and so as UTF-8, whatever their language.
    setlocale(LC_CTYPE, "");
    const auto consoleOut = ConsoleFor(STD_OUTPUT_HANDLE);
    const auto consoleErr = ConsoleFor(STD_ERROR_HANDLE);
    StdOutput out(consoleOut.get());
    std::ostream err(consoleErr ? consoleErr.get() : std::cerr.rdbuf());
    qrx::WinCrypto crypto;
    qrx::WinCodec codec;
    qrx::WinKeyedHash hash;
    DeskTree tree;
    qrx::WinDesktopShell shell;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(qrx::Narrow(argv[i]));
    }
    // Started from Explorer (files dropped on it, a double-click) it makes a page for the
    // browser, or says how it is used, in the console window Explorer gave it.
    const int result = qrx::RunDesktopDecoder(
        args, crypto, codec, hash,
        [](const std::string& path, std::string& error) -> std::unique_ptr<qrx::IByteInput> {
            if (path == "-") {
                return std::make_unique<FdInput>(_fileno(stdin), false);
            }
            const int fd = _wopen(qrx::Widen(path).c_str(), _O_RDONLY | _O_BINARY);
            if (fd < 0) {
                error = Reason("開けません");
                return nullptr;
            }
            return std::make_unique<FdInput>(fd, true);
        },
        tree, shell, out, err);
    err.flush();
    return result;
}
