#include "platform/linux/facts/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

namespace qrx {

namespace {

std::string Basename(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

std::optional<std::string> ReadFile(const std::string& path, std::size_t limit) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    std::string text;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // sysfs and procfs tell no true size (a page for a value of a few bytes): read until the
    // end, through a buffer on the stack, so that no page-sized string is cleared for a value.
    char chunk[8192];
    while (ok && text.size() < limit) {
        const ssize_t n = read(fd, chunk, std::min(sizeof chunk, limit - text.size()));
        ok = n >= 0;
        if (n <= 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(n));
    }
    close(fd);
    if (!ok) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> ReadValue(const std::string& path) {
    auto text = ReadFile(path, kMaxValueFileBytes);
    if (!text) {
        return std::nullopt;
    }
    while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) {
        text->pop_back();
    }
    return SanitizeUtf8(*text);
}

std::optional<std::string> LinkName(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) {
        return std::nullopt;
    }
    return Basename(std::string(buf, static_cast<std::size_t>(n)));
}

std::optional<std::string> RealName(const std::string& path) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf) == nullptr) {
        return std::nullopt;
    }
    return Basename(buf);
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::optional<unsigned> Hex(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const unsigned long v = std::strtoul(text->c_str(), &end, 16);
    if (end == text->c_str()) {
        return std::nullopt;
    }
    return static_cast<unsigned>(v);
}

}  // namespace qrx
