#include "tools/decode/inputs/InputText.h"

#include <algorithm>
#include <string_view>

#include "platform/Utf8.h"

namespace qrx {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Le = "\xFF\xFE";
constexpr std::string_view kUtf16Be = "\xFE\xFF";
constexpr char kCtrlZ = '\x1A';
// Enough text to tell quoted-printable: dozens of records, most of them with padding.
constexpr std::size_t kMailHead = 4096;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) {
        return (c | 0x20) - 'a' + 10;
    }
    return -1;
}

}  // namespace

void InputText::Feed(const char* data, std::size_t size) {
    if (kind_ == Kind::Unknown) {
        const std::size_t take = std::min(size, 4 - head_.size());
        head_.append(data, take);
        data += take;
        size -= take;
        const std::string_view h = head_;
        const auto prefixOf = [&h](std::string_view bom) {
            return h.size() < bom.size() && bom.starts_with(h);
        };
        if (size == 0 && (h.size() < 4 || prefixOf(kUtf8Bom))) {
            return;  // not yet known
        }
        std::string head = std::move(head_);
        head_.clear();
        if (head.starts_with(kUtf8Bom)) {
            kind_ = Kind::Plain;
            head.erase(0, kUtf8Bom.size());
        } else if (head.starts_with(kUtf16Le) || head.starts_with(kUtf16Be)) {
            kind_ = head.starts_with(kUtf16Le) ? Kind::Utf16Le : Kind::Utf16Be;
            head.erase(0, 2);
        } else if (head.size() == 4 && head[0] != 0 && head[1] == 0 && head[2] != 0 &&
                   head[3] == 0) {
            kind_ = Kind::Utf16Le;  // ASCII text as UTF-16 without a mark: every other byte 0
        } else if (head.size() == 4 && head[0] == 0 && head[1] != 0 && head[2] == 0 &&
                   head[3] != 0) {
            kind_ = Kind::Utf16Be;
        } else {
            kind_ = Kind::Plain;
        }
        Feed(head.data(), head.size());
    }
    if (kind_ == Kind::Plain) {
        Emit(data, size);
    } else {
        Utf16(data, size);
    }
}

void InputText::Utf16(const char* data, std::size_t size) {
    converted_.clear();
    const bool le = kind_ == Kind::Utf16Le;
    const auto unit = [le](unsigned char a, unsigned char b) {
        return static_cast<char16_t>(le ? (b << 8 | a) : (a << 8 | b));
    };
    const auto take = [this](char16_t u) {
        if (high_ != 0) {
            const char16_t high = high_;
            high_ = 0;
            if (u >= 0xDC00 && u <= 0xDFFF) {
                AppendUtf8(converted_, 0x10000 + ((char32_t{high} - 0xD800) << 10) + (u - 0xDC00));
                return;
            }
            AppendUtf8(converted_, 0xFFFD);
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            high_ = u;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            AppendUtf8(converted_, 0xFFFD);
        } else {
            AppendUtf8(converted_, u);
        }
    };
    std::size_t i = 0;
    if (!oddByte_.empty() && size > 0) {
        take(unit(static_cast<unsigned char>(oddByte_[0]), static_cast<unsigned char>(data[0])));
        oddByte_.clear();
        i = 1;
    }
    for (; i + 1 < size; i += 2) {
        take(unit(static_cast<unsigned char>(data[i]), static_cast<unsigned char>(data[i + 1])));
    }
    if (i < size) {
        oddByte_.assign(1, data[i]);
    }
    Emit(converted_.data(), converted_.size());
}

void InputText::Emit(const char* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    if (heldCtrlZ_) {
        heldCtrlZ_ = false;
        sink_(&kCtrlZ, 1);  // it was not the last byte
    }
    if (data[size - 1] == kCtrlZ) {
        heldCtrlZ_ = true;
        --size;
    }
    if (size > 0) {
        Unmail(data, size);
    }
}

void InputText::Unmail(const char* data, std::size_t size) {
    if (mail_ == Mail::Unknown) {
        mailHead_.append(data, size);
        const bool qp = mailHead_.find("=3D") != std::string::npos ||
                        mailHead_.find("=3d") != std::string::npos;
        if (!qp && mailHead_.size() < kMailHead) {
            return;
        }
        // Base64 has "=" only at the end of a line: "=3D" is padding that was encoded.
        mail_ = qp ? Mail::QuotedPrintable : Mail::Plain;
        const std::string head = std::move(mailHead_);
        mailHead_.clear();
        return Unquote(head.data(), head.size());
    }
    Unquote(data, size);
}

void InputText::Unquote(const char* data, std::size_t size) {
    unquoted_.clear();
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (lineStart_ && escape_.empty()) {
            // Base64 lines never start with ">": it is a reply's quoting, one space after it.
            if (c == '>') {
                afterQuote_ = true;
                continue;
            }
            if (c == ' ' && afterQuote_) {
                afterQuote_ = false;
                continue;
            }
            lineStart_ = afterQuote_ = false;
        }
        if (!escape_.empty()) {
            escape_ += c;
            if (escape_ == "=\r") {
                continue;
            }
            if (escape_ == "=\n" || escape_ == "=\r\n") {
                escape_.clear();  // a soft line break: the line goes on after the quoting
                lineStart_ = true;
                continue;
            }
            if (escape_.size() < 3 && HexDigit(c) >= 0) {
                continue;
            }
            if (escape_.size() == 3 && HexDigit(escape_[1]) >= 0 && HexDigit(c) >= 0) {
                unquoted_ += static_cast<char>(HexDigit(escape_[1]) * 16 + HexDigit(c));
            } else {
                unquoted_ += escape_;  // not quoted-printable after all: the bytes as they are
                lineStart_ = c == '\n';
            }
            escape_.clear();
            continue;
        }
        if (c == '=' && mail_ == Mail::QuotedPrintable) {
            escape_.push_back(c);
            continue;
        }
        unquoted_ += c;
        lineStart_ = c == '\n';
    }
    if (!unquoted_.empty()) {
        sink_(unquoted_.data(), unquoted_.size());
    }
}

void InputText::Finish() {
    if (kind_ == Kind::Unknown && !head_.empty()) {
        kind_ = Kind::Plain;
        std::string head = std::move(head_);
        head_.clear();
        Emit(head.data(), head.size());
    }
    if (kind_ == Kind::Utf16Le || kind_ == Kind::Utf16Be) {
        converted_.clear();
        if (high_ != 0 || !oddByte_.empty()) {
            AppendUtf8(converted_, 0xFFFD);  // a text cut within a character
        }
        high_ = 0;
        oddByte_.clear();
        Emit(converted_.data(), converted_.size());
    }
    heldCtrlZ_ = false;  // the Ctrl-Z that ends a file
    if (mail_ == Mail::Unknown) {
        mail_ = Mail::Plain;
        const std::string head = std::move(mailHead_);
        mailHead_.clear();
        Unquote(head.data(), head.size());
    }
    if (!escape_.empty()) {
        sink_(escape_.data(), escape_.size());  // an "=" at the very end
        escape_.clear();
    }
}

}  // namespace qrx
