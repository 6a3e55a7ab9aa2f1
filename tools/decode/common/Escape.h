#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qrx {

// How the decoder's outputs show record texts, which come from files and may hold anything.

// The length of the control character other than TAB that starts at byte `at`: 1 for C0 and
// DEL, 2 for C1 (U+0080 to U+009F) in UTF-8, and the UTF-8 length of an invisible format
// character that could reorder or hide what a reader sees (bidi controls U+202A to U+202E and
// U+2066 to U+2069, marks, zero-width characters, U+2028/2029, the soft hyphen, U+FEFF); 0 when
// none starts there.
std::size_t ControlAt(std::string_view text, std::size_t at);

// Whether the text holds a control character other than TAB.
bool HasControl(std::string_view text);

// Text as it may go to a terminal: control characters other than TAB written as "\x1b" (C1 and
// the invisible format characters as "\u009b", "\u202e"), bytes that are not UTF-8 as "\x97";
// everything else passes unchanged.
void AppendEscaped(std::string& out, std::string_view text);
std::string Escaped(std::string_view text);

// Text for HTML element content and attribute values: markup characters as references,
// control characters shown as "\x1b", bytes that are not UTF-8 as U+FFFD.
std::string HtmlEscape(std::string_view text);

// A JSON string with its quotes: control characters (C0, DEL, C1 and the invisible format
// characters) as "\u001b", bytes that are not UTF-8 as U+FFFD.
void AppendJsonString(std::string& out, std::string_view text);

// A CSV field (RFC 4180) for a spreadsheet: control characters shown as "\x1b", bytes that are
// not UTF-8 as U+FFFD; a text that begins with "=", "+", "-", "@" or TAB gets a "'" in front so
// that no spreadsheet takes it for a formula; quoted when it holds a comma or a quote.
void AppendCsvField(std::string& out, std::string_view text);

}  // namespace qrx
