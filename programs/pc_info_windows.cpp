// The Windows entry point: COM for the management instrumentation, then the main window.
#include <objbase.h>
#include <windows.h>

#include <string>

#include "app/Program.h"
#include "platform/windows/Win32Window.h"
#include "platform/windows/WinCodec.h"
#include "platform/windows/WinCrypto.h"
#include "platform/windows/WinSystem.h"
#include "platform/windows/WinText.h"
#include "platform/windows/WinWmi.h"

namespace {

// A start-up failure is told in one box; the program then ends with exit code 1.
int StartFailed(const wchar_t* what, unsigned long code) {
    const std::wstring text = std::wstring(what) + L"\r\nエラー番号: " + std::to_wstring(code);
    MessageBoxW(nullptr, text.c_str(), L"QRX_PC_INFO", MB_ICONERROR);
    return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything can make the system load a DLL: none from the program's folder.
    qrx::LoadDllsFromSystemOnly();
    // An apartment that this thread already has in the other model still serves the calls.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(com) && com != RPC_E_CHANGED_MODE) {
        return StartFailed(L"COM を初期化できないため、起動できません。",
                           static_cast<unsigned long>(com));
    }
    int result = 0;
    {
        qrx::WinAppInfo app;
        qrx::WinClock clock;
        qrx::WinFileSystem files;
        qrx::WinCrypto crypto;
        qrx::WinCodec codec;
        qrx::WinWmi wmi;
        qrx::Win32Window window(instance);
        qrx::Program program({window, app, clock, files, crypto, codec, wmi});
        // The argument text after the program's path, every space kept.
        program.Start(qrx::ProcessArgumentText());
        if (window.StartError() != 0) {
            result =
                StartFailed(L"ウィンドウを作成できないため、起動できません。", window.StartError());
        } else {
            result = window.Run();
        }
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return result;
}
