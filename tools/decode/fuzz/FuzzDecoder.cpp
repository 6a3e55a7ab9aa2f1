// libFuzzer target: the line decoder and the Base64 and code page 932 codecs on any bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/AppError.h"
#include "platform/Base64.h"
#include "platform/linux/IconvCodec.h"
#include "platform/linux/OpenSslCrypto.h"
#include "tools/decode/LineDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qrx::OpenSslCrypto crypto;
    static qrx::IconvCodec codec;
    static qrx::LineDecoder decoder(crypto, codec);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const qrx::Bytes bytes(data, data + size);

    const qrx::DecodedLine line = decoder.Decode(text);
    if (line.kind == qrx::DecodedLine::Kind::Failed && line.reason.empty()) {
        std::abort();  // a failure must say why
    }
    try {
        const qrx::Bytes decoded = qrx::Base64Decode(text);
        if (qrx::Base64Decode(qrx::Base64Encode(decoded)) != decoded) {
            std::abort();
        }
    } catch (const qrx::AppError&) {
    }
    if (qrx::Base64Decode(qrx::Base64Encode(bytes)) != bytes) {
        std::abort();
    }
    const std::string utf8 = codec.FromShiftJis(bytes);
    const qrx::Bytes back = codec.ToShiftJis(utf8);
    (void)back;
    (void)codec.ToShiftJis(text);
    return 0;
}
