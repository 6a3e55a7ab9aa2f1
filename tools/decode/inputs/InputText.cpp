#include "tools/decode/inputs/InputText.h"

#include <algorithm>
#include <string_view>

namespace qrx {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Le = "\xFF\xFE";
constexpr std::string_view kUtf16Be = "\xFE\xFF";
constexpr char kCtrlZ = '\x1A';

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

void InputText::Feed(const char* data, std::size_t size) {
    if (kind_ == Kind::Unknown) {
        const std::size_t take = std::min(size, 3 - head_.size());
        head_.append(data, take);
        data += take;
        size -= take;
        const std::string_view h = head_;
        const auto prefixOf = [&h](std::string_view bom) {
            return h.size() < bom.size() && bom.starts_with(h);
        };
        if (size == 0 && (prefixOf(kUtf8Bom) || prefixOf(kUtf16Le) || prefixOf(kUtf16Be))) {
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
        sink_(data, size);
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
}

}  // namespace qrx
