#pragma once

#include <optional>
#include <string>

#include "platform/Utf8.h"  // SanitizeUtf8

namespace qrx {

// Reading sysfs, procfs and /etc: what is missing or unreadable is null, never an error.

// The whole content of a regular file.
std::optional<std::string> ReadFile(const std::string& path);
// A one-value file as sysfs and /etc keep them: the trailing newline goes, bytes that are not
// UTF-8 become U+FFFD, the rest stays.
std::optional<std::string> ReadValue(const std::string& path);
// The last part of a symbolic link's target ("pci" for ../../bus/pci).
std::optional<std::string> LinkName(const std::string& path);
// The last part of the path with every link resolved.
std::optional<std::string> RealName(const std::string& path);
// Without leading and trailing spaces and TABs.
std::string Trim(const std::string& s);
// A hexadecimal number with or without "0x"; null for nothing or no digits.
std::optional<unsigned> Hex(const std::optional<std::string>& text);

}  // namespace qrx
