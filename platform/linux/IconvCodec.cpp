#include "platform/linux/IconvCodec.h"

#include <algorithm>
#include <cerrno>

#include "platform/AppError.h"
#include "platform/Utf8.h"

namespace qrx {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

iconv_t Open(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == kNoConverter) {
        throw AppError(ToSigned(0x80004005), "iconv",
                       std::string("変換できません: ") + from + " -> " + to);
    }
    return cd;
}

// The length of the UTF-8 character, or broken piece, that starts at p.
std::size_t Utf8SequenceLength(const unsigned char* p, std::size_t left) {
    return DecodeUtf8(std::string_view(reinterpret_cast<const char*>(p), left), 0).length;
}

// Runs one conversion to its end. `onInvalid` is written in place of an unconvertible piece,
// whose length `skip` gives.
template <typename Skip>
std::string Convert(iconv_t cd, const char* data, std::size_t size, const std::string& onInvalid,
                    Skip skip) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.resize(size * 2 + 16);
    char* in = const_cast<char*>(data);
    std::size_t inLeft = size;
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    auto ensure = [&](std::size_t need) {
        if (dstLeft < need) {
            const std::size_t used = static_cast<std::size_t>(dst - out.data());
            out.resize(out.size() * 2 + need);
            dst = out.data() + used;
            dstLeft = out.size() - used;
        }
    };
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            ensure(inLeft * 2 + 16);
            continue;
        }
        // EILSEQ or EINVAL (a truncated sequence at the end): replace and go on.
        ensure(onInvalid.size());
        dst = std::copy(onInvalid.begin(), onInvalid.end(), dst);
        dstLeft -= onInvalid.size();
        const std::size_t n =
            std::min(inLeft, skip(reinterpret_cast<const unsigned char*>(in), inLeft));
        in += n;
        inLeft -= n;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    ensure(16);
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return out;
}

// Code page 932 keeps the 128 ASCII characters as they are, both ways; most records are ASCII
// only and need no conversion.
bool IsAscii(const char* data, std::size_t size) {
    return std::all_of(data, data + size, [](char c) { return (c & 0x80) == 0; });
}

}  // namespace

IconvCodec::IconvCodec() : toCp932_(Open("CP932", "UTF-8")), fromCp932_(Open("UTF-8", "CP932")) {}

IconvCodec::~IconvCodec() {
    iconv_close(toCp932_);
    iconv_close(fromCp932_);
}

Bytes IconvCodec::ToShiftJis(const std::string& text) {
    if (IsAscii(text.data(), text.size())) {
        return Bytes(text.begin(), text.end());
    }
    const std::string out = Convert(toCp932_, text.data(), text.size(), "?", Utf8SequenceLength);
    return Bytes(out.begin(), out.end());
}

std::string IconvCodec::FromShiftJis(const Bytes& bytes) {
    if (IsAscii(reinterpret_cast<const char*>(bytes.data()), bytes.size())) {
        return std::string(bytes.begin(), bytes.end());
    }
    return Convert(fromCp932_, reinterpret_cast<const char*>(bytes.data()), bytes.size(),
                   "\xEF\xBF\xBD",
                   [](const unsigned char*, std::size_t) { return std::size_t{1}; });
}

}  // namespace qrx
