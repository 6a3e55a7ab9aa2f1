// The support decoder on Linux: OpenSSL and iconv.
#include <fstream>
#include <iostream>
#include <memory>

#include "platform/linux/IconvCodec.h"
#include "platform/linux/OpenSslCrypto.h"
#include "tools/decode/Decoder.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::unique_ptr<qrx::OpenSslCrypto> crypto;
    std::unique_ptr<qrx::IconvCodec> codec;
    try {
        crypto = std::make_unique<qrx::OpenSslCrypto>();
        codec = std::make_unique<qrx::IconvCodec>();
    } catch (const std::exception& e) {
        std::cerr << "QRX_PC_INFO_DECODE: " << e.what() << std::endl;
        return 2;
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    return qrx::RunDecoder(args, *crypto, *codec, std::cin, std::cout, std::cerr,
                           [](const std::string& path) -> std::unique_ptr<std::istream> {
                               return std::make_unique<std::ifstream>(path, std::ios::binary);
                           });
}
