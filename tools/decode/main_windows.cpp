// The support decoder on Windows: CryptoAPI and the system's code page 932.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/windows/WinCodec.h"
#include "platform/windows/WinCrypto.h"
#include "platform/windows/WinText.h"
#include "tools/decode/Decoder.h"

int wmain(int argc, wchar_t** argv) {
    // Data files are read as bytes; the output is UTF-8, which the console is told.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    qrx::WinCrypto crypto;
    qrx::WinCodec codec;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(qrx::Narrow(argv[i]));
    }
    return qrx::RunDecoder(args, crypto, codec, std::cin, std::cout, std::cerr,
                           [](const std::string& path) -> std::unique_ptr<std::istream> {
                               return std::make_unique<std::ifstream>(
                                   std::filesystem::path(qrx::Widen(path)), std::ios::binary);
                           });
}
