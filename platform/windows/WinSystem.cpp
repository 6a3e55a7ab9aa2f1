#include "platform/windows/WinSystem.h"

#include <windows.h>

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

}  // namespace

std::string WinAppInfo::ExeFolder() {
    const std::wstring path = ModulePath();
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

bool WinFileSystem::CreateFolder(const std::string& path) {
    return CreateDirectoryW(Widen(path).c_str(), nullptr) != 0;
}

bool WinFileSystem::AppendLine(const std::string& path, const std::string& line) {
    const std::wstring wide = Widen(line + "\r\n");
    std::string narrow;
    if (!wide.empty()) {
        const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                          nullptr, 0, nullptr, nullptr);
        narrow.resize(static_cast<std::size_t>(n));
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), n,
                            nullptr, nullptr);
    }
    HANDLE file =
        CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr);
    const BOOL closed = CloseHandle(file);
    return ok && closed && written == narrow.size();
}

}  // namespace qrx
