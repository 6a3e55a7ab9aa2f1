// A DLL that a web page might drop into Downloads beside the program under the name of a DLL
// that the system loads for it: when loaded, it leaves "marker-<its name>" beside itself.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    wchar_t* name = wcsrchr(path, L'\\');
    if (n == 0 || n >= MAX_PATH - 8 || name == nullptr) {
        return TRUE;
    }
    wchar_t marker[MAX_PATH + 8] = {};
    lstrcpynW(marker, path, static_cast<int>(name - path) + 2);
    lstrcatW(marker, L"marker-");
    lstrcatW(marker, name + 1);
    const HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return TRUE;
}
