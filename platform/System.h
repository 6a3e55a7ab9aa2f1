#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace qrx {

// A local date and time to the second.
struct LocalDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;

    // The zero date-time: 30 December 1899, 00:00:00.
    static LocalDateTime Zero() { return {}; }
    bool operator==(const LocalDateTime&) const = default;
};

class IClock {
  public:
    virtual ~IClock() = default;
    virtual LocalDateTime Now() = 0;
};

// Facts about the running executable.
class IAppInfo {
  public:
    virtual ~IAppInfo() = default;
    // The folder of the executable as the platform reports it (no trailing separator except for
    // a root folder).
    virtual std::string ExeFolder() = 0;
    // The executable's file name without its extension.
    virtual std::string ExeName() = 0;
    // A 32-bit number of the running program, for trace lines.
    virtual std::uint32_t ProgramNumber() = 0;
    // The path separator of the platform: '\\' on Windows, '/' elsewhere.
    virtual char PathSeparator() = 0;
};

// An advisory lock on a file, given back when the object goes.
class IFileLock {
  public:
    virtual ~IFileLock() = default;
};

// What LockFile throws when another instance keeps the file locked through the whole wait: the
// caller writes nothing into that file.
class FileBusyError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class IFileSystem {
  public:
    virtual ~IFileSystem() = default;
    // Creates one folder; false when it fails (it exists already, access denied, no parent).
    virtual bool CreateFolder(const std::string& path) = 0;
    // Opens `path` for appending (creating it), writes `line` and CR LF in the system's narrow
    // code page, and closes it again. False when any step failed.
    virtual bool AppendLine(const std::string& path, const std::string& line) = 0;
    // A trace line, which may be lost: a platform that waits for a file held by another
    // process waits less for it than for a record.
    virtual bool AppendLogLine(const std::string& path, const std::string& line) {
        return AppendLine(path, line);
    }
    // Takes an advisory lock on `path` (creating the file like AppendLine) that other
    // instances of the program wait for, so that two runs sharing a data file never interleave
    // their lines. Null when the platform has no such lock or the file cannot be locked: the
    // caller goes on without it. FileBusyError when another instance held it through the wait.
    virtual std::unique_ptr<IFileLock> LockFile(const std::string& /*path*/) { return nullptr; }
    // True when `path` is a folder that belongs to the user running the program, so that what
    // is put into it stays out of other users' hands. Where the platform has no owners to
    // compare (or leaves them to the folder's permissions), any existing folder.
    virtual bool IsOwnFolder(const std::string& path) = 0;
    // Tells the person once that the trace log at `path` cannot be written (where the platform
    // has a place for such a notice); its lines are lost.
    virtual void ReportLostLog(const std::string& /*path*/) {}
};

}  // namespace qrx
