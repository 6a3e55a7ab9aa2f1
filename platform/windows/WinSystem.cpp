#include "platform/windows/WinSystem.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/windows/WinText.h"

namespace qrx {

namespace {

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool IsPrefix(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// True when `candidate`, as a command line names a program, is the running executable.
bool NamesThisProgram(const std::wstring& candidate) {
    if (candidate.empty()) {
        return false;
    }
    std::wstring full(MAX_PATH, L'\0');
    DWORD n =
        GetFullPathNameW(candidate.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = GetFullPathNameW(candidate.c_str(), static_cast<DWORD>(full.size()), full.data(),
                             nullptr);
    }
    if (n == 0 || n >= full.size()) {
        return false;
    }
    full.resize(n);
    const auto slash = full.find_last_of(L"\\/");
    if (full.find(L'.', slash == std::wstring::npos ? 0 : slash) == std::wstring::npos) {
        full += L".exe";
    }
    const std::wstring module = ModulePath();
    return CompareStringOrdinal(full.c_str(), static_cast<int>(full.size()), module.c_str(),
                                static_cast<int>(module.size()), TRUE) == CSTR_EQUAL;
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

bool IsRegularDiskFile(HANDLE file) {
    if (GetFileType(file) != FILE_TYPE_DISK) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

}  // namespace

std::wstring ArgumentText(const std::wstring& commandLine,
                          const std::function<bool(const std::wstring&)>& isProgram) {
    std::size_t end = std::wstring::npos;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const auto close = commandLine.find(L'"', 1);
        end = close == std::wstring::npos ? commandLine.size() : close + 1;
    } else {
        for (std::size_t i = 1; i <= commandLine.size(); ++i) {
            if ((i == commandLine.size() || IsBlank(commandLine[i])) &&
                isProgram(commandLine.substr(0, i))) {
                end = i;
                break;
            }
        }
        if (end == std::wstring::npos) {
            end = std::min(commandLine.find_first_of(L" \t"), commandLine.size());
        }
    }
    if (end < commandLine.size() && IsBlank(commandLine[end])) {
        ++end;
    }
    return commandLine.substr(end);
}

std::string ProcessArgumentText() {
    const wchar_t* line = GetCommandLineW();
    return Narrow(ArgumentText(line != nullptr ? line : L"", NamesThisProgram));
}

DllSearch LoadDllsFromSystemOnly() {
    // Looked up: a Windows 7 without its update lacks the function, and a program that
    // imported it would not start there.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return DllSearch::SystemOnly;
    }
    return SetDllDirectoryW(L"") ? DllSearch::NoCurrentFolder : DllSearch::Unchanged;
}

std::string WinAppInfo::ExeFolder() {
    std::wstring path = ModulePath();
    // A long-path name of a network share addresses it as \\server\share.
    if (IsPrefix(path, L"\\\\?\\UNC\\")) {
        path = L"\\\\" + path.substr(8);
    }
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return ".";
    }
    std::wstring folder = path.substr(0, slash);
    // The root folder of a drive keeps its separator ("C:\").
    if (folder.size() == 2 && folder[1] == L':') {
        folder += L'\\';
    }
    return Narrow(folder);
}

std::string WinAppInfo::ExeName() {
    const std::wstring path = ModulePath();
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    const auto dot = name.rfind(L'.');
    return Narrow(dot == std::wstring::npos ? name : name.substr(0, dot));
}

std::uint32_t WinAppInfo::ProgramNumber() {
    return GetCurrentProcessId();
}

LocalDateTime WinClock::Now() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

namespace {

class WinFileLock : public IFileLock {
  public:
    explicit WinFileLock(HANDLE file) : file_(file) {}
    ~WinFileLock() override { CloseHandle(file_); }  // closing gives the lock back
    WinFileLock(const WinFileLock&) = delete;
    WinFileLock& operator=(const WinFileLock&) = delete;

  private:
    HANDLE file_;
};

}  // namespace

IRetryClock& SystemRetryClock() {
    struct SystemClock : IRetryClock {
        std::uint64_t NowMs() override { return GetTickCount64(); }
        void SleepMs(std::uint32_t ms) override { Sleep(ms); }
    };
    static SystemClock clock;
    return clock;
}

std::unique_ptr<IFileLock> WinFileSystem::LockFile(const std::string& path) {
    HANDLE file = CreateFileW(
        Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    if (!IsRegularDiskFile(file)) {
        CloseHandle(file);
        return nullptr;
    }
    const std::uint64_t start = clock_.NowMs();
    for (;;) {
        OVERLAPPED at{};
        at.Offset = 0xFFFFFFFE;
        at.OffsetHigh = 0x7FFFFFFF;
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            return std::make_unique<WinFileLock>(file);
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION) {
            CloseHandle(file);
            return nullptr;
        }
        if (clock_.NowMs() - start >= static_cast<std::uint64_t>(lockWait_.count())) {
            CloseHandle(file);
            throw FileBusyError(path + ": held by another instance");
        }
        clock_.SleepMs(10);
    }
}

bool WinFileSystem::CreateFolder(const std::string& path) {
    return CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

bool WinFileSystem::IsOwnFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WinFileSystem::Append(const std::string& path, const std::string& line,
                           std::chrono::milliseconds budget) {
    const std::wstring wide = Widen(line + "\r\n");
    std::string narrow;
    if (!wide.empty()) {
        const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                          nullptr, 0, nullptr, nullptr);
        narrow.resize(static_cast<std::size_t>(n));
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), n,
                            nullptr, nullptr);
    }
    const std::wstring name = Widen(path);
    HANDLE file = INVALID_HANDLE_VALUE;
    const std::uint64_t start = clock_.NowMs();
    const auto budgetMs = static_cast<std::uint64_t>(budget.count());
    for (std::uint64_t delay = 10;; delay += 10) {
        file = CreateFileW(
            name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            break;
        }
        const DWORD error = GetLastError();
        const std::uint64_t spent = clock_.NowMs() - start;
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
            spent + delay > budgetMs) {
            return false;
        }
        clock_.SleepMs(static_cast<std::uint32_t>(delay));
    }
    if (!IsRegularDiskFile(file)) {
        CloseHandle(file);
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr);
    const BOOL closed = CloseHandle(file);
    return ok && closed && written == narrow.size();
}

}  // namespace qrx
