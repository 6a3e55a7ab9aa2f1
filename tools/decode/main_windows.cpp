// The support decoder on Windows: CryptoAPI and the system's code page 932.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/windows/WinCodec.h"
#include "platform/windows/WinCrypto.h"
#include "platform/windows/WinText.h"
#include "tools/decode/Decoder.h"

namespace {

// The length of the part of `text` that ends with a whole UTF-8 character.
std::size_t WholeCharacters(const std::string& text) {
    const std::size_t n = text.size();
    for (std::size_t back = 1; back <= 4 && back <= n; ++back) {
        const auto c = static_cast<unsigned char>(text[n - back]);
        if ((c & 0xC0) == 0x80) {
            continue;  // a continuation byte: look further back for the lead byte
        }
        const std::size_t length = c < 0x80             ? 1
                                   : (c & 0xE0) == 0xC0 ? 2
                                   : (c & 0xF0) == 0xE0 ? 3
                                                        : 4;
        return length > back ? n - back : n;
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Data files are read as bytes; files and pipes get the output as UTF-8 bytes.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const auto consoleOut = ConsoleFor(STD_OUTPUT_HANDLE);
    const auto consoleErr = ConsoleFor(STD_ERROR_HANDLE);
    std::ostream out(consoleOut ? consoleOut.get() : std::cout.rdbuf());
    std::ostream err(consoleErr ? consoleErr.get() : std::cerr.rdbuf());
    qrx::WinCrypto crypto;
    qrx::WinCodec codec;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(qrx::Narrow(argv[i]));
    }
    const int result =
        qrx::RunDecoder(args, crypto, codec, std::cin, out, err,
                        [](const std::string& path) -> std::unique_ptr<std::istream> {
                            return std::make_unique<std::ifstream>(
                                std::filesystem::path(qrx::Widen(path)), std::ios::binary);
                        });
    out.flush();
    err.flush();
    return result;
}
