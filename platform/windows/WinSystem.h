#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/System.h"

namespace qrx {

// The argument text of a command line: what follows the program's path and the one space or
// tab after it; further spaces are kept. A quoted path ends at its closing quote. An unquoted
// path may hold spaces: it ends at the first space (or the end) before which the text names
// the running program, as `isProgram` tells; when none does, at the first space or tab.
std::wstring ArgumentText(const std::wstring& commandLine,
                          const std::function<bool(const std::wstring&)>& isProgram);

// The argument text of this process's command line (GetCommandLineW).
std::string ProcessArgumentText();

// How LoadDllsFromSystemOnly kept the program's folder out of the DLL search.
enum class DllSearch { SystemOnly, NoCurrentFolder, Unchanged };

// DLLs that the system loads for the program later (themes, CryptoAPI's provider, COM servers)
// are looked for in the system folder only, never beside the program, where a web page may
// have dropped one into Downloads: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32), which
// Windows 8 and later have (Windows 7 with its update). Without it, SetDllDirectoryW(L"")
// takes at least the current folder out of the search.
DllSearch LoadDllsFromSystemOnly();

class WinAppInfo : public IAppInfo {
  public:
    std::string ExeFolder() override;
    std::string ExeName() override;
    std::uint32_t ProgramNumber() override;
    char PathSeparator() override { return '\\'; }
};

class WinClock : public IClock {
  public:
    LocalDateTime Now() override;
};

// Lines are written in the system's ANSI code page, one open, write and close per line. Only a
// regular disk file is written: a reparse point at the name is not followed, and a device, pipe
// or console counts as a failed write. A file that another process holds for a moment (virus
// scanners, sync clients) is tried again after 10, 20, 30 ... ms, on the window's thread, within
// a budget per line: about 100 ms for a record, 10 ms (one retry) for a trace line, which may
// be lost.
// Time as the file system's retries see it (GetTickCount64 and Sleep), so that a test decides
// when a held file is let go and how much time a wait takes.
class IRetryClock {
  public:
    virtual ~IRetryClock() = default;
    virtual std::uint64_t NowMs() = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;
};
IRetryClock& SystemRetryClock();

class WinFileSystem : public IFileSystem {
  public:
    explicit WinFileSystem(std::chrono::milliseconds recordBudget = std::chrono::milliseconds(100),
                           std::chrono::milliseconds logBudget = std::chrono::milliseconds(10),
                           std::chrono::milliseconds lockWait = std::chrono::seconds(30),
                           IRetryClock& clock = SystemRetryClock())
        : recordBudget_(recordBudget), logBudget_(logBudget), lockWait_(lockWait), clock_(clock) {}
    bool CreateFolder(const std::string& path) override;
    bool AppendLine(const std::string& path, const std::string& line) override {
        return Append(path, line, recordBudget_);
    }
    bool AppendLogLine(const std::string& path, const std::string& line) override {
        return Append(path, line, logBudget_);
    }
    // Any folder: who may write into it is the business of its access control list.
    bool IsOwnFolder(const std::string& path) override;
    // LockFileEx on one byte far beyond any data: Windows locks keep other handles from the
    // bytes they cover, so the lock covers none that a line is written to. Waits up to
    // `lockWait` for another instance, then throws FileBusyError.
    std::unique_ptr<IFileLock> LockFile(const std::string& path) override;

  private:
    bool Append(const std::string& path, const std::string& line, std::chrono::milliseconds budget);
    std::chrono::milliseconds recordBudget_;
    std::chrono::milliseconds logBudget_;
    std::chrono::milliseconds lockWait_;
    IRetryClock& clock_;
};

}  // namespace qrx
