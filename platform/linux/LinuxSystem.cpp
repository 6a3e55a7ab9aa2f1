#include "platform/linux/LinuxSystem.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/auxv.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <thread>

#include "platform/linux/Eintr.h"

namespace qrx {

namespace {

std::string ReadLink(const char* path) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path, buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::string RealPath(const char* path) {
    char buf[PATH_MAX];
    return path != nullptr && realpath(path, buf) != nullptr ? std::string(buf) : std::string();
}

// `bytes` converted from one code set to another; null when some of it does not convert.
std::optional<std::string> Convert(const std::string& bytes, const std::string& from,
                                   const std::string& to) {
    const iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

// A name in the locale's code set as UTF-8 text: only when it is text of that code set and
// converts back to the same bytes, so that the text names the same file. Else the bytes.
std::string AsText(const std::string& bytes, const std::string& codeset) {
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || codeset.empty() || codeset == "UTF-8" || codeset == "ANSI_X3.4-1968") {
        return bytes;
    }
    const auto text = Convert(bytes, codeset, "UTF-8");
    if (!text || Convert(*text, "UTF-8", codeset) != bytes) {
        return bytes;
    }
    return *text;
}

}  // namespace

bool IsDynamicLoader(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    return name.starts_with("ld-") && name.find(".so") != std::string::npos;
}

LinuxAppInfo::LinuxAppInfo(const char* argv0, const std::string& codeset) {
    std::string path = ReadLink("/proc/self/exe");
    if (path.empty()) {
        // No /proc (a container, a chroot): the path the program was started by, resolved
        // against the folder it was started in, which it has not left yet.
        path = RealPath(reinterpret_cast<const char*>(getauxval(AT_EXECFN)));
    }
    if (path.empty() || IsDynamicLoader(path)) {
        // "/lib64/ld-linux-x86-64.so.2 ./QRX_PC_INFO": the loader hands the program its own
        // path as argv[0].
        // A bare name in argv[0] came through PATH or was made up: it names no folder.
        if (std::string own = argv0 != nullptr && std::strchr(argv0, '/') != nullptr
                                  ? RealPath(argv0)
                                  : std::string();
            !own.empty()) {
            path = own;
        }
    }
    if (path.empty() || IsDynamicLoader(path)) {
        throw std::runtime_error(
            "the program's own folder cannot be found (no /proc, and the path it was started by "
            "does not lead to it); nothing was written");
    }
    SetPath(path, codeset);
}

LinuxAppInfo LinuxAppInfo::FromPath(std::string path, const std::string& codeset) {
    LinuxAppInfo info;
    info.SetPath(path, codeset);
    return info;
}

std::string LinuxAppInfo::NativePath(const std::string& path) const {
    if (folderText_ != folder_ && path.starts_with(folderText_)) {
        return folder_ + path.substr(folderText_.size());
    }
    return path;
}

void LinuxAppInfo::SetPath(const std::string& path, const std::string& codeset) {
    const auto slash = path.rfind('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name_ = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (const auto dot = name_.rfind('.'); dot != std::string::npos && dot != 0) {
        name_.erase(dot);
    }
    folderText_ = AsText(folder_, codeset);
    nameText_ = AsText(name_, codeset);
}

std::uint32_t LinuxAppInfo::ProgramNumber() {
    return static_cast<std::uint32_t>(getpid());
}

LocalDateTime LinuxClock::Now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

int PosixCalls::Open(int dir, const char* path, int flags, mode_t mode) {
    return openat(dir, path, flags, mode);
}

ssize_t PosixCalls::Write(int fd, const void* data, std::size_t size) {
    return write(fd, data, size);
}

int PosixCalls::Fstat(int fd, struct stat* st) {
    return fstat(fd, st);
}

int PosixCalls::Ftruncate(int fd, off_t length) {
    return ftruncate(fd, length);
}

int PosixCalls::Close(int fd) {
    return close(fd);
}

int PosixCalls::Mkdir(int dir, const char* path, mode_t mode) {
    return mkdirat(dir, path, mode);
}

int PosixCalls::Flock(int fd, int operation) {
    return flock(fd, operation);
}

int PosixCalls::Fchown(int fd, uid_t uid, gid_t gid) {
    return fchown(fd, uid, gid);
}

int PosixCalls::Stat(int dir, const char* path, struct stat* st, int flags) {
    return fstatat(dir, path, st, flags);
}

PosixCalls& PosixCalls::Real() {
    static PosixCalls real;
    return real;
}

}  // namespace qrx
