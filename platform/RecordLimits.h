#pragma once

#include <cstddef>

namespace qrx {

// The longest value the program records, in bytes of UTF-8, on Linux and Windows alike: a sysfs
// value is at most a page, and longer text (a file bind-mounted over a DMI value, an endless
// line in an ID database, a 1,000,000-character Caption from WMI) is cut there, at a
// character's start, so that the decoder takes every line.
inline constexpr std::size_t kMaxStandInValueBytes = 4096;

// The longest property name the program records, with room to spare ("TotalVisibleMemorySize"
// has 22 characters).
inline constexpr std::size_t kMaxPropertyNameBytes = 64;

// The longest record the Linux program writes: a property name, TAB and a value.
inline constexpr std::size_t kMaxStandInRecordBytes =
    kMaxPropertyNameBytes + 1 + kMaxStandInValueBytes;

// The data-file line of a record of `recordBytes` bytes of UTF-8, without its CR LF: the Base64
// of the record's code page 932 bytes (never more than its UTF-8 bytes) padded to whole AES
// blocks, or the record itself when it could not be encrypted; whichever is longer.
constexpr std::size_t MaxDataLineBytes(std::size_t recordBytes) {
    const std::size_t cipher = (recordBytes / 16 + 1) * 16;
    const std::size_t base64 = (cipher + 2) / 3 * 4;
    return base64 > recordBytes ? base64 : recordBytes;
}

}  // namespace qrx
