#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/Utf8.h"  // SanitizeUtf8

namespace qrx {

// Reading sysfs, procfs and /etc: what is missing or unreadable is null, never an error.

// The most read of a file such as /proc/cpuinfo (a few KiB per processor) and of a one-value
// file (sysfs keeps a value in a page); what a file holds beyond is not read.
inline constexpr std::size_t kMaxSystemFileBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kMaxValueFileBytes = 64 * 1024;

// The content of a regular file, up to `limit` bytes.
std::optional<std::string> ReadFile(const std::string& path,
                                    std::size_t limit = kMaxSystemFileBytes);
// A one-value file as sysfs and /etc keep them: the trailing newline goes, bytes that are not
// UTF-8 become U+FFFD, the rest stays.
std::optional<std::string> ReadValue(const std::string& path);
// `text` (UTF-8) cut to at most `limit` bytes at the start of a character.

// The last part of a symbolic link's target ("pci" for ../../bus/pci).
std::optional<std::string> LinkName(const std::string& path);
// The last part of the path with every link resolved.
std::optional<std::string> RealName(const std::string& path);
// Without leading and trailing spaces and TABs.
std::string Trim(const std::string& s);
// A hexadecimal number with or without "0x"; null for nothing or no digits.
std::optional<unsigned> Hex(const std::optional<std::string>& text);

}  // namespace qrx
