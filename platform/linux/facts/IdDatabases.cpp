#include "platform/linux/facts/IdDatabases.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/linux/facts/Files.h"

namespace qrx {

namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// A vendor's line: four lower-case hexadecimal digits at the start of a line, then a space.
// Device lines start with a TAB, comments with "#", the other sections with a capital letter.
bool IsVendorLine(std::string_view text, std::size_t at) {
    return at + 5 <= text.size() && IsHexDigit(text[at]) && IsHexDigit(text[at + 1]) &&
           IsHexDigit(text[at + 2]) && IsHexDigit(text[at + 3]) && text[at + 4] == ' ';
}

unsigned VendorOf(std::string_view text, std::size_t at) {
    unsigned id = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        const char c = text[i];
        id = id * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return id;
}

std::size_t NextLine(std::string_view text, std::size_t at) {
    const std::size_t end = text.find('\n', at);
    return end == std::string_view::npos ? text.size() : end + 1;
}

// The start of the line before the one that starts at `at` (above 0).
std::size_t PreviousLine(std::string_view text, std::size_t at) {
    const void* end = at > 1 ? memrchr(text.data(), '\n', at - 1) : nullptr;
    return end == nullptr
               ? 0
               : static_cast<std::size_t>(static_cast<const char*>(end) - text.data()) + 1;
}

// The vendor's line by a search of the whole file, for a file whose vendors are not in order.
std::optional<std::size_t> SearchVendor(std::string_view text, unsigned vendor) {
    char key[8];
    std::snprintf(key, sizeof key, "\n%04x ", vendor & 0xFFFF);
    if (text.starts_with(key + 1)) {
        return 0;
    }
    // memmem rather than std::string_view::find: the line break it starts with is on every line.
    const auto* at = static_cast<const char*>(memmem(text.data(), text.size(), key, 6));
    return at == nullptr ? std::nullopt : std::optional<std::size_t>(at - text.data() + 1);
}

}  // namespace

// The vendor's line found by bisection, as both databases list their vendors in ascending
// order: a probe in the middle goes to the nearest vendor line, usually a few hundred bytes
// away. Only about a dozen places of the file are read instead of all of it.
std::optional<std::size_t> BisectVendor(std::string_view text, unsigned vendor) {
    std::size_t lo = 0;            // a line start; vendors before it are smaller
    std::size_t hi = text.size();  // a line start or the end; vendors from it on are larger
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const std::size_t line = mid == lo ? lo : NextLine(text, mid - 1);
        // The vendor line nearest to the probe, looked for both ways at once: a probe inside a
        // large vendor's block (Intel's has thousands of lines) walks half as far as one way.
        std::size_t ahead = line;  // the lines from `line` up to `ahead` hold no vendor
        std::size_t back = line;   // nor the lines between `back` and `line`
        std::optional<std::size_t> at;
        while (!at && (ahead < hi || back > lo)) {
            if (ahead < hi) {
                if (IsVendorLine(text, ahead)) {
                    at = ahead;
                    break;
                }
                ahead = NextLine(text, ahead);
            }
            if (back > lo) {
                back = PreviousLine(text, back);
                if (IsVendorLine(text, back)) {
                    at = back;
                }
            }
        }
        if (!at) {
            return std::nullopt;  // no vendor line between lo and hi
        }
        const unsigned id = VendorOf(text, *at);
        if (id == vendor) {
            return at;
        }
        const bool before = *at < line;  // its block runs at least up to `ahead`
        if (id < vendor) {
            lo = before ? ahead : NextLine(text, *at);
        } else {
            hi = before ? *at : line;
        }
    }
    return std::nullopt;
}

// The file (about 1 MB) is mapped, not read, and only the pages that the search touches and
// the vendor's own block are read.
HardwareNames LookUpIds(const std::string& file, unsigned vendor, unsigned device) {
    HardwareNames names;
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return names;
    }
    struct stat st {};
    void* map =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0
            ? mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0)
            : MAP_FAILED;
    close(fd);
    if (map == MAP_FAILED) {
        return names;
    }
    std::unique_ptr<void, std::function<void(void*)>> unmap(
        map, [&st](void* p) { munmap(p, static_cast<std::size_t>(st.st_size)); });
    const std::string_view text(static_cast<const char*>(map),
                                static_cast<std::size_t>(st.st_size));
    vendor &= 0xFFFF;
    std::optional<std::size_t> at = BisectVendor(text, vendor);
    if (!at) {
        at = SearchVendor(text, vendor);
    }
    if (!at) {
        return names;
    }
    char dev[8];
    std::snprintf(dev, sizeof dev, "\t%04x ", device & 0xFFFF);
    std::string_view rest = text.substr(*at);
    bool first = true;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (first) {
            names.vendor = SanitizeUtf8(Trim(std::string(line.substr(5))));
            first = false;
        } else if (!line.empty() && line[0] != '\t' && line[0] != '#') {
            break;  // the next vendor
        } else if (line.starts_with(dev)) {
            names.model = SanitizeUtf8(Trim(std::string(line.substr(6))));
            break;
        }
    }
    return names;
}

// libudev is loaded only for this look-up,
// which most runs never make, so the program does not pay for loading it at every start.
HardwareNames LookUpHwdb(const std::string& modalias) {
    HardwareNames names;
    void* lib = dlopen("libudev.so.1", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        return names;
    }
    auto fn = [lib](const char* name) { return dlsym(lib, name); };
    using Object = void*;
    auto udevNew = reinterpret_cast<Object (*)()>(fn("udev_new"));
    auto udevUnref = reinterpret_cast<Object (*)(Object)>(fn("udev_unref"));
    auto hwdbNew = reinterpret_cast<Object (*)(Object)>(fn("udev_hwdb_new"));
    auto hwdbUnref = reinterpret_cast<Object (*)(Object)>(fn("udev_hwdb_unref"));
    auto properties = reinterpret_cast<Object (*)(Object, const char*, unsigned)>(
        fn("udev_hwdb_get_properties_list_entry"));
    auto next = reinterpret_cast<Object (*)(Object)>(fn("udev_list_entry_get_next"));
    auto nameOf = reinterpret_cast<const char* (*)(Object)>(fn("udev_list_entry_get_name"));
    auto valueOf = reinterpret_cast<const char* (*)(Object)>(fn("udev_list_entry_get_value"));
    Object u =
        udevNew && udevUnref && hwdbNew && hwdbUnref && properties && next && nameOf && valueOf
            ? udevNew()
            : nullptr;
    if (Object hwdb = u ? hwdbNew(u) : nullptr) {
        for (Object entry = properties(hwdb, modalias.c_str(), 0); entry; entry = next(entry)) {
            const std::string name = nameOf(entry);
            if (name == "ID_VENDOR_FROM_DATABASE") {
                names.vendor = SanitizeUtf8(valueOf(entry));
            } else if (name == "ID_MODEL_FROM_DATABASE") {
                names.model = SanitizeUtf8(valueOf(entry));
            }
        }
        hwdbUnref(hwdb);
    }
    if (u) {
        udevUnref(u);
    }
    dlclose(lib);
    return names;
}

}  // namespace qrx
