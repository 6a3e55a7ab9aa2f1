#include "tools/decode/common/Escape.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/Utf8.h"
#include "tools/decode/common/ByteScan.h"

namespace qrx {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void AppendHex(std::string& out, const char* prefix, unsigned v) {
    out += prefix;
    out += kHex[(v >> 4) & 15];
    out += kHex[v & 15];
}

// Whether eight bytes hold nothing that may begin a control character: C0 but TAB, DEL, and
// the lead bytes of C1 and of the invisible format characters in UTF-8.
bool CleanWord(std::uint64_t w) {
    using namespace bytescan;
    return NotPrintable(w) == 0 ||
           (Below(w, '\t') | Between(w, '\t', 0x20) | Equal(w, 0x7F) | Equal(w, 0xC2) |
            Equal(w, 0xD8) | Equal(w, 0xE1) | Equal(w, 0xE2) | Equal(w, 0xEF)) == 0;
}

// Characters that show nothing themselves but change what a reader sees around them: bidi
// embeddings, overrides and isolates, marks, zero-width characters, line and paragraph
// separators, the soft hyphen, the byte order mark, interlinear annotation.
bool InvisibleFormat(char32_t c) {
    return c == 0xAD || c == 0x61C || c == 0x180E || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) ||
           (c >= 0x2066 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB);
}

void AppendCodePoint(std::string& out, char32_t c) {
    char text[12];
    std::snprintf(text, sizeof text, "\\u%04x", static_cast<unsigned>(c));
    out += text;
}

// The control character at `at` written as the terminal and the HTML page show it.
void AppendShownControl(std::string& out, std::string_view text, std::size_t at,
                        std::size_t length) {
    if (length == 1) {
        AppendHex(out, "\\x", static_cast<unsigned char>(text[at]));
    } else {
        AppendCodePoint(out, DecodeUtf8(text, at).code);
    }
}

}  // namespace

std::size_t ControlAt(std::string_view text, std::size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if ((c < 0x20 && c != '\t') || c == 0x7F) {
        return 1;
    }
    if (c == 0xC2 && at + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[at + 1]);
        return (next >= 0x80 && next < 0xA0) || next == 0xAD ? 2 : 0;
    }
    if (c == 0xD8 || c == 0xE1 || c == 0xE2 || c == 0xEF) {
        const Utf8Char ch = DecodeUtf8(text, at);
        return ch.valid && InvisibleFormat(ch.code) ? ch.length : 0;
    }
    return 0;
}

bool HasControl(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (ControlAt(text, i) != 0) {
            return true;
        }
    }
    return false;
}

namespace {

// AppendEscaped of UTF-8 text.
void AppendEscapedUtf8(std::string& out, std::string_view text) {
    using namespace bytescan;
    std::size_t done = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        // Eight bytes at a time while none of them may begin one; the last eight bytes overlap
        // ones already seen.
        if (i + kWord <= text.size()) {
            if (CleanWord(Load(text.data() + i))) {
                i += kWord;
                continue;
            }
        } else if (text.size() >= kWord && CleanWord(Load(text.data() + text.size() - kWord))) {
            break;
        }
        for (const std::size_t stop = std::min(i + kWord, text.size()); i < stop; ++i) {
            const std::size_t length = ControlAt(text, i);
            if (length == 0) {
                continue;
            }
            out.append(text, done, i - done);
            AppendShownControl(out, text, i, length);
            i += length - 1;
            done = i + 1;
        }
    }
    out.append(text, done, std::string_view::npos);
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
    if (IsValidUtf8(text)) {
        AppendEscapedUtf8(out, text);
        return;
    }
    // Bytes that are not UTF-8 (a file name made on another system) are shown as "\x97": what
    // goes to a terminal or a file is UTF-8.
    std::size_t done = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char ch = DecodeUtf8(text, i);
        if (!ch.valid) {
            AppendEscapedUtf8(out, text.substr(done, i - done));
            for (std::size_t k = i; k < i + ch.length; ++k) {
                AppendHex(out, "\\x", static_cast<unsigned char>(text[k]));
            }
            done = i + ch.length;
        }
        i += ch.length;
    }
    AppendEscapedUtf8(out, text.substr(done));
}

std::string Escaped(std::string_view text) {
    std::string out;
    AppendEscaped(out, text);
    return out;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (const std::size_t length = ControlAt(text, i); length != 0) {
            AppendShownControl(out, text, i, length);
            i += length;
            continue;
        }
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                if (c < 0x80) {
                    out += static_cast<char>(c);
                    break;
                }
                const Utf8Char ch = DecodeUtf8(text, i);
                if (ch.valid) {
                    out.append(text.substr(i, ch.length));
                } else {
                    out += kReplacement;
                }
                i += ch.length;
                continue;
        }
        ++i;
    }
    return out;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    std::size_t done = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            ++i;
            continue;
        }
        std::size_t length = 1;
        const char* plain = nullptr;
        std::string shown;
        if (c == '"') {
            plain = "\\\"";
        } else if (c == '\\') {
            plain = "\\\\";
        } else if (c == '\t') {
            plain = "\\t";
        } else if (c == '\n') {
            plain = "\\n";
        } else if (c == '\r') {
            plain = "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            AppendHex(shown, "\\u00", c);
        } else {
            const Utf8Char ch = DecodeUtf8(text, i);
            length = ch.length;
            if (ch.valid && ch.code >= 0xA0 && !InvisibleFormat(ch.code)) {
                i += length;
                continue;  // a character that passes as it is
            }
            if (ch.valid) {
                AppendCodePoint(shown, ch.code);  // C1 or an invisible format character
            } else {
                shown = kReplacement;
            }
        }
        out.append(text, done, i - done);
        out += plain != nullptr ? std::string_view(plain) : std::string_view(shown);
        i += length;
        done = i;
    }
    out.append(text, done, std::string_view::npos);
    out += '"';
}

void AppendCsvField(std::string& out, std::string_view text) {
    std::string field;
    // Spreadsheets take the full-width forms of = + - @ for the ASCII ones too.
    if ((!text.empty() &&
         std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) ||
        text.starts_with("\xEF\xBC\x9D") || text.starts_with("\xEF\xBC\x8B") ||
        text.starts_with("\xEF\xBC\x8D") || text.starts_with("\xEF\xBC\xA0")) {
        field += '\'';
    }
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (const std::size_t length = ControlAt(text, i); length != 0) {
            AppendShownControl(field, text, i, length);
            i += length;
        } else if (c < 0x80) {
            field += static_cast<char>(c);
            ++i;
        } else {
            const Utf8Char ch = DecodeUtf8(text, i);
            field += ch.valid ? text.substr(i, ch.length) : kReplacement;
            i += ch.length;
        }
    }
    if (field.find_first_of(",\"") == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (const char c : field) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
}

}  // namespace qrx
