#include "platform/linux/LinuxSystem.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

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

}  // namespace

bool IsDynamicLoader(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    return name.starts_with("ld-") && name.find(".so") != std::string::npos;
}

LinuxAppInfo::LinuxAppInfo(const char* argv0) {
    std::string path = ReadLink("/proc/self/exe");
    if (IsDynamicLoader(path)) {
        // "/lib64/ld-linux-x86-64.so.2 ./QRX_PC_INFO": the loader hands the program its own
        // path as argv[0].
        if (std::string own = RealPath(argv0); !own.empty()) {
            path = own;
        }
    }
    SetPath(path);
}

LinuxAppInfo LinuxAppInfo::FromPath(std::string path) {
    LinuxAppInfo info;
    info.SetPath(path);
    return info;
}

void LinuxAppInfo::SetPath(const std::string& path) {
    const auto slash = path.rfind('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name_ = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (const auto dot = name_.rfind('.'); dot != std::string::npos && dot != 0) {
        name_.erase(dot);
    }
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

int PosixCalls::Open(const char* path, int flags, mode_t mode) {
    return open(path, flags, mode);
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

int PosixCalls::Mkdir(const char* path, mode_t mode) {
    return mkdir(path, mode);
}

PosixCalls& PosixCalls::Real() {
    static PosixCalls real;
    return real;
}

bool PosixFileSystem::CreateFolder(const std::string& path) {
    return calls_.Mkdir(path.c_str(), 0777) == 0;
}

bool PosixFileSystem::AppendLine(const std::string& path, const std::string& line) {
    // O_NOFOLLOW: a link at the name is not followed. O_NONBLOCK: a FIFO without a reader
    // fails at once instead of waiting for one; on a regular file it changes nothing.
    int fd = -1;
    do {
        fd = calls_.Open(
            path.c_str(),
            O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = calls_.Fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        // One write per line, so that another process appending to the same file between two
        // of our lines never splits one.
        const std::string text = line + "\r\n";
        ssize_t n = -1;
        do {
            n = calls_.Write(fd, text.data(), text.size());
        } while (n < 0 && errno == EINTR);
        if (n != static_cast<ssize_t>(text.size())) {
            ok = false;
            if (n > 0) {
                calls_.Ftruncate(fd, st.st_size);
            }
        }
    }
    if (calls_.Close(fd) != 0) {
        ok = false;
    }
    return ok;
}

}  // namespace qrx
