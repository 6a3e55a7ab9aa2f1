#include "platform/windows/WinCodec.h"

#include <windows.h>

#include "platform/windows/WinText.h"

namespace qrx {

namespace {

constexpr UINT kCodePage = 932;

// Converts one piece strictly; false when it is not valid code page 932.
bool Decode(const std::uint8_t* p, int n, std::wstring& out) {
    const auto* text = reinterpret_cast<const char*>(p);
    const int size = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text, n, nullptr, 0);
    if (size <= 0) {
        return false;
    }
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(size));
    MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, text, n, out.data() + at, size);
    return true;
}

}  // namespace

Bytes WinCodec::ToShiftJis(const std::string& text) {
    const std::wstring wide = Widen(text);
    Bytes out;
    // Code point by code point, so that a character outside the code page, a surrogate pair
    // included, becomes exactly one "?".
    for (std::size_t i = 0; i < wide.size();) {
        const std::size_t n =
            (wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size()) ? 2 : 1;
        char buf[8];
        BOOL usedDefault = FALSE;
        const int m = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data() + i,
                                          static_cast<int>(n), buf, sizeof buf, "?", &usedDefault);
        if (m <= 0 || usedDefault) {
            out.push_back('?');
        } else {
            out.insert(out.end(), buf, buf + m);
        }
        i += n;
    }
    return out;
}

std::string WinCodec::FromShiftJis(const Bytes& bytes) {
    std::wstring wide;
    if (bytes.empty() || Decode(bytes.data(), static_cast<int>(bytes.size()), wide)) {
        return Narrow(wide);
    }
    // Piece by piece: a byte that starts no valid character becomes U+FFFD.
    wide.clear();
    for (std::size_t i = 0; i < bytes.size();) {
        const bool lead = IsDBCSLeadByteEx(kCodePage, bytes[i]) != 0;
        if (lead && i + 1 < bytes.size() && Decode(bytes.data() + i, 2, wide)) {
            i += 2;
        } else if (!lead && Decode(bytes.data() + i, 1, wide)) {
            i += 1;
        } else {
            wide += L'\xFFFD';
            i += 1;
        }
    }
    return Narrow(wide);
}

}  // namespace qrx
