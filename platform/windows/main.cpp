// The Windows entry point: COM for the management instrumentation, then the main window.
#include <objbase.h>
#include <windows.h>

#include "app/Program.h"
#include "platform/windows/Win32Window.h"
#include "platform/windows/WinCodec.h"
#include "platform/windows/WinCrypto.h"
#include "platform/windows/WinSystem.h"
#include "platform/windows/WinText.h"
#include "platform/windows/WinWmi.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
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
        // The argument text after the program's path, as the system hands it over.
        program.Start(qrx::Narrow(commandLine != nullptr ? commandLine : L""));
        result = window.Run();
    }
    CoUninitialize();
    return result;
}
