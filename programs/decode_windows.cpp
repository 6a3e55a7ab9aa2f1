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
#include "platform/windows/WinFailure.h"
#include "platform/windows/WinKeyedHash.h"
#include "platform/windows/WinText.h"
#include "tools/decode/DesktopStart.h"
#include "tools/decode/inputs/ArchiveTree.h"

namespace {

// The failure of the Win32 call that just failed, said of `step`.
qrx::Failure Failed(const std::string& step) {
    return qrx::FromWin32(GetLastError()).In(step);
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

// A file or standard input read through its handle.
class HandleInput : public qrx::IByteInput {
  public:
    HandleInput(HANDLE handle, bool owned) : handle_(handle), owned_(owned) {}
    ~HandleInput() override {
        if (owned_) {
            CloseHandle(handle_);
        }
    }
    HandleInput(const HandleInput&) = delete;
    HandleInput& operator=(const HandleInput&) = delete;
    qrx::Result<std::size_t> Read(char* buffer, std::size_t capacity) override {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(capacity, 1 << 20));
        if (!ReadFile(handle_, buffer, chunk, &got, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) {
                return std::size_t{0};  // the writer of a pipe has finished
            }
            return Failed("読み込めません");
        }
        return static_cast<std::size_t>(got);
    }

  private:
    HANDLE handle_;
    bool owned_;
};

// Writes all of `data` to a handle, however many writes that takes.
qrx::Done WriteAll(HANDLE handle, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20));
        if (!WriteFile(handle, data, chunk, &written, nullptr)) {
            return qrx::FromWin32(GetLastError());
        }
        if (written == 0) {
            return qrx::Failure{qrx::FailureKind::Io, "書き込めません", {}};
        }
        data += written;
        size -= written;
    }
    return {};
}

// Whether a name is one of the devices that every folder has ("CON", "nul.txt", "COM1"), or a
// path into the device namespace ("\\.\…"): such a name is never a file.
bool IsDeviceName(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.starts_with("\\\\.\\") ||
        (path.starts_with("\\\\?\\") && !path.starts_with("\\\\?\\UNC\\") &&
         !(path.size() > 6 && path[5] == ':'))) {
        return true;
    }
    std::string stem = path.substr(path.find_last_of("\\:") + 1);
    stem = stem.substr(0, stem.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    for (char& c : stem) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" ||
        stem == "CONOUT$") {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

const qrx::Failure kNotRegular{qrx::FailureKind::NotRegular,
                               "通常のファイルではありません (デバイスやパイプは読みません)",
                               {}};

// A file named on the command line or found in a folder, opened for reading: regular files
// only (a device or a pipe may read for ever or wait for a writer).
qrx::Result<std::unique_ptr<qrx::IByteInput>> OpenFile(const std::string& path) {
    if (IsDeviceName(path)) {
        return kNotRegular;
    }
    const HANDLE handle = CreateFileW(qrx::Widen(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Failed("開けません");
    }
    auto input = std::make_unique<HandleInput>(handle, true);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return kNotRegular;
    }
    return input;
}

// Standard output: the console's buffer when it is a console, else the bytes as they are.
class StdOutput : public qrx::IByteOutput {
  public:
    explicit StdOutput(ConsoleBuffer* console) : console_(console) {}
    qrx::Done Write(const char* data, std::size_t size) override {
        if (console_ != nullptr) {
            console_->sputn(data, static_cast<std::streamsize>(size));
            if (console_->pubsync() != 0) {
                return qrx::Failure{qrx::FailureKind::Io, "コンソールに書き込めません", {}};
            }
            return {};
        }
        return WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), data, size);
    }

  private:
    ConsoleBuffer* console_;
};

// A file of the desk's own (--mask-map, --xlsx) written through its handle.
class FileOutput : public qrx::IByteOutput {
  public:
    explicit FileOutput(HANDLE handle) : handle_(handle) {}
    ~FileOutput() override { CloseHandle(handle_); }
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;
    qrx::Done Write(const char* data, std::size_t size) override {
        return WriteAll(handle_, data, size);
    }

  private:
    HANDLE handle_;
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
    qrx::Result<std::vector<Entry>> List(const std::string& folder) override {
        qrx::Result<std::vector<Entry>> entries = ArchiveTree::List(folder);
        if (!entries) {
            return entries;
        }
        for (Entry& e : *entries) {
            const DWORD attributes = GetFileAttributesW(qrx::Widen(folder + "\\" + e.name).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                e.folder = e.regular = false;
            }
        }
        return entries;
    }
    qrx::Result<std::unique_ptr<qrx::IByteOutput>> CreateNew(const std::string& path) override {
        const HANDLE handle = CreateFileW(qrx::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return qrx::FromWin32(error).In(
                error == ERROR_FILE_EXISTS ? "既にあるファイルには書きません" : "作れません");
        }
        return std::make_unique<FileOutput>(handle);
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
        [](const std::string& path) -> qrx::Result<std::unique_ptr<qrx::IByteInput>> {
            if (path == "-") {
                return std::make_unique<HandleInput>(GetStdHandle(STD_INPUT_HANDLE), false);
            }
            return OpenFile(path);
        },
        tree, shell, out, err);
    err.flush();
    return result;
}
