#include "platform/linux/LinuxSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

namespace qrx {

namespace {

std::string ExePath() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

std::string LinuxAppInfo::ExeFolder() {
    const std::string path = ExePath();
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LinuxAppInfo::ExeName() {
    const std::string path = ExePath();
    std::string name = path.substr(path.rfind('/') + 1);
    const auto dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
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

bool PosixFileSystem::CreateFolder(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}

bool PosixFileSystem::AppendLine(const std::string& path, const std::string& line) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    // One write per line, so that another process appending to the same file between two of
    // our lines never splits one.
    const std::string text = line + "\r\n";
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0) {
        ok = false;
    }
    return ok;
}

}  // namespace qrx
