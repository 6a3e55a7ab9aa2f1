#include "platform/windows/WinDesktopShell.h"

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include <algorithm>

#include "platform/windows/WinFailure.h"
#include "platform/windows/WinText.h"

namespace qrx {

// Explorer gives a console program a console of its own; from a console window the window's
// shell (cmd.exe, PowerShell) is in it too. Output redirected to a file or pipe is someone's
// script, whoever made the console.
bool WinDesktopShell::OwnsConsole() {
    DWORD ids[2] = {};
    if (GetConsoleProcessList(ids, 2) != 1) {
        return false;
    }
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) == FILE_TYPE_CHAR &&
           GetConsoleMode(out, &mode);
}

std::string WinDesktopShell::TempFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    return n > 0 && n <= MAX_PATH ? Narrow(std::wstring(buffer, n)) : std::string(".\\");
}

Done WinDesktopShell::Open(const std::string& path) {
    // The shell's handlers may be COM objects that want a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", Widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    if (result > 32) {
        return {};
    }
    if (result == SE_ERR_NOASSOC || result == SE_ERR_ASSOCINCOMPLETE) {
        return Failure{FailureKind::Unsupported, "HTML ファイルを開くプログラムが決まっていません",
                       "SE_ERR_NOASSOC"};
    }
    // The others are the system's error numbers (file or path not found, access denied, out of
    // memory).
    return FromWin32(static_cast<unsigned long>(result));
}

void WinDesktopShell::WaitForEnter() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    wchar_t buffer[256];
    DWORD got = 0;
    // The console's line mode returns with the line once Enter is pressed.
    while (ReadConsoleW(in, buffer, 256, &got, nullptr) && got > 0) {
        if (std::find(buffer, buffer + got, L'\r') != buffer + got ||
            std::find(buffer, buffer + got, L'\n') != buffer + got) {
            return;
        }
    }
}

}  // namespace qrx
