#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qrx {

// Values as a person reads them, for the pages and tables a desk reads (not for the JSON and CSV
// that programs read: those keep the values as recorded).

// A size in KB (TotalVisibleMemorySize) in GiB with one decimal: "15.9 GiB"; empty when the
// value is not a whole number.
std::string GibFromKb(std::string_view kb);

// The language and region of a Locale (hex LCID, "0411") or an OSLanguage (decimal LCID, "1041"):
// "日本語 (日本)"; of a CountryCode (the telephone country code, "81"): "日本". Empty for the
// values that the table of common ones does not know.
std::string LocaleName(std::string_view hexLcid);
std::string OsLanguageName(std::string_view decimalLcid);
std::string CountryName(std::string_view code);

// A name for a property's value, empty when it has none: the three above by property name.
std::string ReadableValue(std::string_view property, std::string_view value);

// The columns a text takes on a terminal: East Asian wide and full-width characters two, others
// one.
std::size_t DisplayWidth(std::string_view utf8);

// Text cut to at most `bytes` bytes at the start of a character, "…" marking the cut.
std::string Shortened(std::string_view utf8, std::size_t bytes);

}  // namespace qrx
