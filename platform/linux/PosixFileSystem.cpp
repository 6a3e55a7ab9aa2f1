// The file routines of Linux (PosixFileSystem) and the user who ran the program through sudo.
#include "platform/linux/LinuxSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/linux/Eintr.h"

namespace qrx {

namespace {

// A decimal id of 1 to 2^31 - 1, the whole text and nothing else.
std::optional<unsigned> ParseId(const char* text) {
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    unsigned value = 0;
    const char* end = text + std::char_traits<char>::length(text);
    const auto [ptr, error] = std::from_chars(text, end, value);
    if (error != std::errc() || ptr != end || value == 0 || value > INT_MAX) {
        return std::nullopt;
    }
    return value;
}

class PosixFileLock : public IFileLock {
  public:
    PosixFileLock(PosixCalls& calls, int fd) : calls_(calls), fd_(fd) {}
    ~PosixFileLock() override { calls_.Close(fd_); }
    PosixFileLock(const PosixFileLock&) = delete;
    PosixFileLock& operator=(const PosixFileLock&) = delete;

  private:
    PosixCalls& calls_;
    int fd_;
};

}  // namespace

std::optional<FileOwner> FileOwner::InvokingUser() {
    if (geteuid() != 0) {
        return std::nullopt;
    }
    const auto uid = ParseId(std::getenv("SUDO_UID"));
    const auto gid = ParseId(std::getenv("SUDO_GID"));
    if (!uid || !gid) {
        return std::nullopt;
    }
    return FileOwner{static_cast<uid_t>(*uid), static_cast<gid_t>(*gid)};
}

PosixFileSystem::PosixFileSystem(PosixCalls& calls, std::optional<FileOwner> owner,
                                 std::chrono::milliseconds lockWait)
    : calls_(calls),
      owner_(owner),
      lockWait_(lockWait),
      owners_(geteuid(), owner ? std::optional<uid_t>(owner->uid) : std::nullopt) {}

PosixFileSystem::~PosixFileSystem() {
    if (anchor_ >= 0) {
        calls_.Close(anchor_);
    }
}

bool PosixFileSystem::Anchor(const std::string& folder) {
    const int fd = calls_.Open(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    if (anchor_ >= 0) {
        calls_.Close(anchor_);
    }
    anchor_ = fd;
    anchorPath_ = folder;
    return true;
}

int PosixFileSystem::OpenParent(const std::string& text, std::string& name) {
    const std::string path = Native(text);
    const auto slash = path.rfind('/');
    name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string parent = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const std::string prefix = anchorPath_.ends_with('/') ? anchorPath_ : anchorPath_ + "/";
    if (anchor_ < 0 || (parent != anchorPath_ && !parent.starts_with(prefix))) {
        return calls_.Open(AT_FDCWD, parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
    }
    int dir = calls_.Open(anchor_, ".", O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
    const std::string below = parent.size() > prefix.size() ? parent.substr(prefix.size()) : "";
    for (std::size_t begin = 0; dir >= 0 && begin < below.size();) {
        const std::size_t end = std::min(below.find('/', begin), below.size());
        if (end > begin) {
            const std::string step = below.substr(begin, end - begin);
            const int next =
                calls_.Open(dir, step.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
            calls_.Close(dir);
            dir = next;
        }
        begin = end + 1;
    }
    return dir;
}

bool PosixFileSystem::CreateFolder(const std::string& path) {
    std::string name;
    const int dir = OpenParent(path, name);
    if (dir < 0) {
        return false;
    }
    // The trace log's folders hold every value in plain text: the user's alone.
    const bool made = calls_.Mkdir(dir, name.c_str(), 0700) == 0;
    if (made && owner_) {
        const int fd =
            calls_.Open(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
        if (fd >= 0) {
            calls_.Fchown(fd, owner_->uid, owner_->gid);
            calls_.Close(fd);
        }
    }
    calls_.Close(dir);
    return made;
}

bool PosixFileSystem::IsOwnFolder(const std::string& path) {
    std::string name;
    const int dir = OpenParent(path, name);
    if (dir < 0) {
        return false;
    }
    struct stat st {};
    bool own =
        calls_.Stat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && owners_.Trusts(st.st_uid);
    if (own && S_ISLNK(st.st_mode)) {
        own = calls_.Stat(dir, name.c_str(), &st, 0) == 0 && owners_.Trusts(st.st_uid);
    }
    calls_.Close(dir);
    return own && S_ISDIR(st.st_mode);
}

void PosixFileSystem::ReportLostLog(const std::string& path) {
    const std::string text =
        "QRX_PC_INFO: the trace log cannot be written (" + path + "); its lines are lost\n";
    [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, text.data(), text.size());
}

int PosixFileSystem::OpenRegular(const std::string& path, struct stat& st) {
    std::string name;
    const int dir = OpenParent(path, name);
    if (dir < 0) {
        return -1;
    }
    // O_NOFOLLOW: a link at the name is not followed. O_NONBLOCK: a FIFO without a reader
    // fails at once instead of waiting for one; on a regular file it changes nothing.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    bool created = true;
    int fd = RetryOnEintr(
        [&] { return calls_.Open(dir, name.c_str(), kFlags | O_CREAT | O_EXCL, 0600); });
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = RetryOnEintr([&] { return calls_.Open(dir, name.c_str(), kFlags, 0); });
    }
    calls_.Close(dir);
    if (fd < 0) {
        return -1;
    }
    if (calls_.Fstat(fd, &st) != 0) {
        calls_.Close(fd);
        return -1;
    }
    // A file that was there already may be someone else's, prepared for the program to fill;
    // one this process made is its own, whatever the file system reports.
    if (created) {
        created_.emplace(st.st_dev, st.st_ino);
    } else if (!created_.contains({st.st_dev, st.st_ino}) &&
               ForeignFileFault(st, owners_) != nullptr) {
        calls_.Close(fd);
        return -1;
    }
    // Under sudo the user must be able to send the file: one that root owns (the program just
    // made it) is given to the invoking user, still readable and writable by its owner only.
    if (owner_ && st.st_uid == 0 && calls_.Fchown(fd, owner_->uid, owner_->gid) == 0) {
        st.st_uid = owner_->uid;
        st.st_gid = owner_->gid;
    }
    return fd;
}

bool PosixFileSystem::AppendLine(const std::string& path, const std::string& line) {
    struct stat st {};
    const int fd = OpenRegular(path, st);
    if (fd < 0) {
        return false;
    }
    // One write per line, so that another process appending to the same file between two of
    // our lines never splits one.
    bool ok = true;
    const std::string text = line + "\r\n";
    const ssize_t n = RetryOnEintr([&] { return calls_.Write(fd, text.data(), text.size()); });
    if (n != static_cast<ssize_t>(text.size())) {
        ok = false;
        // Our part line is the file's end only when the file has grown by exactly its bytes
        // since the open: then nothing of another process follows or precedes it there.
        struct stat after {};
        if (n > 0 && calls_.Fstat(fd, &after) == 0 && after.st_size == st.st_size + n) {
            calls_.Ftruncate(fd, st.st_size);
        }
    }
    if (calls_.Close(fd) != 0) {
        ok = false;
    }
    return ok;
}

std::unique_ptr<IFileLock> PosixFileSystem::LockFile(const std::string& path) {
    struct stat st {};
    const int fd = OpenRegular(path, st);
    if (fd < 0) {
        return nullptr;
    }
    const auto deadline = std::chrono::steady_clock::now() + lockWait_;
    for (;;) {
        if (calls_.Flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return std::make_unique<PosixFileLock>(calls_, fd);
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            calls_.Close(fd);
            return nullptr;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            calls_.Close(fd);
            throw FileBusyError(path + ": held by another instance");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace qrx
