#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/System.h"
#include "platform/linux/Ownership.h"

namespace qrx {

// The executable's path, resolved once at start-up: later lines keep naming the same folder
// and program even when the file is replaced or its folder renamed while the program is open.
class LinuxAppInfo : public IAppInfo {
  public:
    // `argv0` is the program's own argv[0]; it is used when the process was started through
    // the dynamic loader, where /proc/self/exe names the loader instead of the program.
    // `codeset` is the locale's (nl_langinfo(CODESET)): the program's text is UTF-8, and a
    // folder named in another code set (EUC-JP, Shift_JIS) is converted from it.
    explicit LinuxAppInfo(const char* argv0, const std::string& codeset = "");
    // From a resolved executable path.
    static LinuxAppInfo FromPath(std::string path, const std::string& codeset = "");

    // The folder and name as text: converted from the locale's code set when they are text of
    // it and come back the same; the bytes as they are otherwise (and in UTF-8 and C locales).
    std::string ExeFolder() override { return folderText_; }
    std::string ExeName() override { return nameText_; }
    // The folder's bytes, as the file system names it.
    const std::string& NativeFolder() const { return folder_; }
    // A path the program formed below ExeFolder(), as the file system names it.
    std::string NativePath(const std::string& path) const;
    std::uint32_t ProgramNumber() override;
    char PathSeparator() override { return '/'; }

  private:
    LinuxAppInfo() = default;
    void SetPath(const std::string& path, const std::string& codeset);
    std::string folder_;
    std::string name_;
    std::string folderText_;
    std::string nameText_;
};

// True when `path` names a dynamic loader (ld-linux-x86-64.so.2, ld-linux-aarch64.so.1,
// ld-2.36.so, ...) rather than a program.
bool IsDynamicLoader(const std::string& path);

class LinuxClock : public IClock {
  public:
    LocalDateTime Now() override;
};

// The system calls behind the file routines; a test replaces some to make them fail. Paths are
// relative to the folder open at `dir` (AT_FDCWD: the current folder).
class PosixCalls {
  public:
    virtual ~PosixCalls() = default;
    virtual int Open(int dir, const char* path, int flags, mode_t mode);
    virtual ssize_t Write(int fd, const void* data, std::size_t size);
    virtual int Fstat(int fd, struct stat* st);
    virtual int Ftruncate(int fd, off_t length);
    virtual int Close(int fd);
    virtual int Mkdir(int dir, const char* path, mode_t mode);
    virtual int Flock(int fd, int operation);
    virtual int Fchown(int fd, uid_t uid, gid_t gid);
    // fstatat(2): `flags` AT_SYMLINK_NOFOLLOW for the link itself.
    virtual int Stat(int dir, const char* path, struct stat* st, int flags);

    static PosixCalls& Real();
};

// The user who ran the program through sudo, to whom its files are given: SUDO_UID and
// SUDO_GID when the program runs as root and they name another user; none otherwise.
struct FileOwner {
    uid_t uid;
    gid_t gid;
    static std::optional<FileOwner> InvokingUser();
};

// Files are written as they come: the narrow code page here is UTF-8. Only regular files are
// appended to: a symbolic link at the final name, a FIFO or a device counts as a failed write,
// and nothing ever waits on the open. Below the anchored folder (the program's, opened once at
// start) every file and folder is reached from that open folder, one name at a time and
// without following a link: a folder swapped for a link meanwhile leads nowhere else. Files are
// created for their owner only (0600), folders too (0700); under sudo the files and folders the
// program makes, and the root-owned files it writes, are given to `owner`, the invoking user. A
// file that is already there is written only when it is one of the program's own (see
// ForeignFileFault, with the running user, root and `owner` trusted): another user who prepared the
// names in a shared folder gets nothing. A file this process created itself (O_CREAT|O_EXCL) is its
// own whatever mode and owner the file system reports: an NTFS or CIFS mount shows every file as
// rwxrwxrwx.
class PosixFileSystem : public IFileSystem {
  public:
    explicit PosixFileSystem(PosixCalls& calls = PosixCalls::Real(),
                             std::optional<FileOwner> owner = FileOwner::InvokingUser(),
                             std::chrono::milliseconds lockWait = std::chrono::seconds(30));
    ~PosixFileSystem() override;
    PosixFileSystem(const PosixFileSystem&) = delete;
    PosixFileSystem& operator=(const PosixFileSystem&) = delete;
    // Opens `folder` (as the file system names it) once; the paths below it are reached from
    // there from now on. False when it cannot be opened.
    bool Anchor(const std::string& folder);
    // Paths the program forms are text (UTF-8); `native` names them as the file system does.
    void NamePathsWith(std::function<std::string(const std::string&)> native) {
        native_ = std::move(native);
    }
    bool CreateFolder(const std::string& path) override;
    // The line and its CR LF go out in one write. A write that fails or is short is taken back
    // by cutting the file to its length before it, but only while the file holds nothing after
    // our part line: a line another process appended meanwhile is never cut off.
    bool AppendLine(const std::string& path, const std::string& line) override;
    // flock(2), which belongs to the open file, not to the process: the program's own opens
    // and closes for each line leave it in place. Waits up to `lockWait` for another instance,
    // then throws FileBusyError.
    std::unique_ptr<IFileLock> LockFile(const std::string& path) override;
    // A folder of a trusted owner; a symbolic link to one counts when the link is theirs too.
    bool IsOwnFolder(const std::string& path) override;
    // On standard error.
    void ReportLostLog(const std::string& path) override;

  private:
    // Opens `path` for appending as AppendLine does; -1 unless it is a regular file of the
    // program's own (ForeignFileFault). `st` is its state after the open.
    int OpenRegular(const std::string& path, struct stat& st);
    // The folder that holds `path`, opened (O_PATH) to be closed by the caller, and the last
    // name in `name`; -1 when it cannot be reached.
    int OpenParent(const std::string& path, std::string& name);
    std::string Native(const std::string& path) const { return native_ ? native_(path) : path; }
    PosixCalls& calls_;
    std::function<std::string(const std::string&)> native_;
    std::optional<FileOwner> owner_;
    std::chrono::milliseconds lockWait_;
    TrustedOwners owners_;
    int anchor_ = -1;
    std::string anchorPath_;
    // The files this process created, by device and inode.
    std::set<std::pair<dev_t, ino_t>> created_;
};

}  // namespace qrx
