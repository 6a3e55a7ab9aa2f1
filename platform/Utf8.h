#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qrx {

// One character of a UTF-8 text.
struct Utf8Char {
    char32_t code = 0;       // the code point; U+FFFD when the sequence is not valid
    std::size_t length = 1;  // bytes taken, at least 1, never past the end of the text
    bool valid = false;
};

// The character that starts at byte `at` (< text.size()). A sequence that is not UTF-8 (a bad
// lead byte, a missing continuation byte, an overlong form, a surrogate, a code point above
// U+10FFFF) is invalid; its length is that of its longest valid beginning, at least 1, so that
// each broken piece counts once.
Utf8Char DecodeUtf8(std::string_view text, std::size_t at);

bool IsValidUtf8(std::string_view text);

// The text with every invalid piece replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view text);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t c);

// The text cut to at most `limit` bytes, at a character's start.
std::string CutUtf8(std::string text, std::size_t limit);

// The number of UTF-16 code units of the text; an invalid piece counts as one.
std::size_t Utf16Length(std::string_view text);

}  // namespace qrx
