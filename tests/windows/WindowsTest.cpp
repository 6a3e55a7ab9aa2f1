#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <filesystem>
#include <thread>

#include "app/frmMain.h"
#include "cipher/clsCipher.h"
#include "platform/windows/Win32Window.h"
#include "platform/windows/WinCodec.h"
#include "platform/windows/WinCrypto.h"
#include "platform/windows/WinKeyedHash.h"
#include "platform/windows/WinSystem.h"
#include "platform/windows/WinText.h"
#include "platform/windows/WinWmi.h"
#include "tests/shared/CipherContracts.h"
#include "tests/shared/DecoderContract.h"
#include "tests/shared/SystemContracts.h"
#include "tests/support/Fakes.h"

namespace qrx::test {
namespace {

struct WinBackends {
    WinCrypto crypto;
    WinCodec codec;
    WinKeyedHash hash;
};
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, CryptoContract, WinCrypto);
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, CodecContract, WinCodec);
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, CipherLinesContract, WinBackends);
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, DecoderContract, WinBackends);
// What may stand at a file's name on Windows besides a regular disk file.
struct PipeWithAServer : NotAFile {
    std::wstring name = L"\\\\.\\pipe\\qrx-not-a-file-" + std::to_wstring(GetCurrentProcessId());
    HANDLE pipe =
        CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 4096, 0, nullptr);
    ~PipeWithAServer() override { CloseHandle(pipe); }
    std::string Path() const override { return Narrow(name); }
    bool Reached() const override {
        DWORD waiting = 0;
        PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr);
        return waiting != 0;
    }
};
using Dir = const std::filesystem::path&;
template <>
std::vector<NotAFileKind> NotAFileKinds<WinFileSystem>() {
    return {
        {"the NUL device",
         [](Dir, Dir) -> std::unique_ptr<NotAFile> { return std::make_unique<NamedOnly>("NUL"); }},
        {"a named pipe",
         [](Dir, Dir) -> std::unique_ptr<NotAFile> {
             auto pipe = std::make_unique<PipeWithAServer>();
             if (pipe->pipe == INVALID_HANDLE_VALUE) {
                 return nullptr;
             }
             return pipe;
         }},
        {"a folder",
         [](Dir dir, Dir) -> std::unique_ptr<NotAFile> {
             std::filesystem::create_directory(dir / "folder.dat");
             return std::make_unique<NamedOnly>(dir / "folder.dat");
         }},
    };
}
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, FileSystemContract, WinFileSystem);
INSTANTIATE_TYPED_TEST_SUITE_P(Windows, AppInfoContract, WinAppInfo);

struct Wmi : ::testing::Test {
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }
    WinWmi wmi;
};

TEST_F(Wmi, ProcessorHasOneInstanceWithATextName) {
    auto set = wmi.Bind("winmgmts:")->ExecQuery("SELECT * FROM Win32_Processor");
    auto cpu = set->Next();
    ASSERT_NE(cpu, nullptr);
    const Variant name = cpu->Property("Name");
    EXPECT_EQ(name.type, vt::BSTR);
    EXPECT_FALSE(name.text.empty());
    EXPECT_EQ(set->Next(), nullptr);
}

TEST_F(Wmi, ArraysArriveAsArraysOfVariants) {
    auto set = wmi.Bind("winmgmts:")->ExecQuery("SELECT * FROM Win32_NetworkAdapterConfiguration");
    int arrays = 0;
    while (auto adapter = set->Next()) {
        const Variant addresses = adapter->Property("IPAddress");
        if (addresses.type != vt::NULL_) {
            EXPECT_EQ(addresses.type, vt::ARRAY_VARIANT);
            for (const auto& e : addresses.elements) {
                EXPECT_EQ(e.type, vt::BSTR);
            }
            ++arrays;
        }
    }
    EXPECT_GT(arrays, 0);
}

TEST_F(Wmi, UnknownPropertyFailsWithItsCode) {
    auto services = wmi.Bind("winmgmts:");
    auto cpu = services->ExecQuery("SELECT * FROM Win32_Processor")->Next();
    try {
        cpu->Property("NoSuchProperty");
        FAIL();
    } catch (const AppError& e) {
        EXPECT_EQ(static_cast<std::uint32_t>(e.Number), WBEM_E_NOT_FOUND);
    }
}

// A held file is tried again within a budget per line: about 100 ms for a record, one short
// retry for a trace line, which may be lost. The clock is the test's: a wait lets the time pass
// and, where the case says so, lets the file go.
TEST(WinFiles, AFileHeldForAMomentIsTriedAgainWithinABudget) {
    const auto path = std::filesystem::temp_directory_path() / "qrx-held.dat";
    std::filesystem::remove(path);
    struct HeldClock : IRetryClock {
        std::uint64_t now = 0;
        int waits = 0, releaseAtWait = 0;
        HANDLE held = INVALID_HANDLE_VALUE;
        std::uint64_t NowMs() override { return now; }
        void SleepMs(std::uint32_t ms) override {
            now += ms;
            if (++waits == releaseAtWait) {
                CloseHandle(held);
                held = INVALID_HANDLE_VALUE;
            }
        }
    } clock;
    WinFileSystem files(std::chrono::milliseconds(100), std::chrono::milliseconds(10),
                        std::chrono::seconds(30), clock);
    const struct {
        const char* what;
        bool logLine;
        int releaseAtWait;  // 0: held throughout
        bool written;
    } cases[] = {
        {"record, let go at the third wait", false, 3, true},
        {"record, held", false, 0, false},
        {"trace line, let go at the first wait", true, 1, true},
        {"trace line, let go at the second wait", true, 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clock.now = 0;
        clock.waits = 0;
        clock.releaseAtWait = c.releaseAtWait;
        clock.held = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(clock.held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(c.logLine ? files.AppendLogLine(path.string(), "line")
                            : files.AppendLine(path.string(), "line"),
                  c.written);
        EXPECT_LE(clock.now, c.logLine ? 10u : 100u);  // the window was frozen for this long
        if (clock.held != INVALID_HANDLE_VALUE) {
            CloseHandle(clock.held);
        }
    }
    // Shared for deletion too: the file may be removed while a line is written.
    HANDLE reader = CreateFileW(path.wstring().c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_TRUE(files.AppendLine(path.string(), "line"));
    CloseHandle(reader);
    std::filesystem::remove(path);
}

TEST(WinCommandLine, ArgumentTextKeepsEverySpaceAfterTheProgramPath) {
    const std::wstring program = L"C:\\Program Files\\QRX\\QRX_PC_INFO.exe";
    const auto isProgram = [&](const std::wstring& p) { return p == program; };
    const struct {
        const wchar_t* line;
        const wchar_t* arguments;
    } cases[] = {
        {L"\"C:\\Program Files\\QRX\\QRX_PC_INFO.exe\" DEBUG", L"DEBUG"},
        {L"\"C:\\Program Files\\QRX\\QRX_PC_INFO.exe\"  DEBUG", L" DEBUG"},
        {L"\"C:\\Program Files\\QRX\\QRX_PC_INFO.exe\"DEBUG", L"DEBUG"},
        {L"C:\\Program Files\\QRX\\QRX_PC_INFO.exe DEBUG x", L"DEBUG x"},
        {L"C:\\Program Files\\QRX\\QRX_PC_INFO.exe\tDEBUG", L"DEBUG"},
        {L"C:\\Program Files\\QRX\\QRX_PC_INFO.exe", L""},
        {L"QRX_PC_INFO  DEBUG", L" DEBUG"},  // found through PATH: the name ends at a space
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArgumentText(c.line, isProgram), c.arguments) << Narrow(c.line);
    }
}

using Recorder = EventRecorder;

RECT ClientRectOf(HWND child, HWND parent) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string TextOf(HWND hwnd) {
    wchar_t buf[256] = {};
    GetWindowTextW(hwnd, buf, 256);
    return Narrow(buf);
}

TEST(Win32Window, CaptionClientSizeButtonsAndTabOrderAt96Dpi) {
    Win32Window window(GetModuleHandleW(nullptr));
    Recorder recorder;
    window.ShowMainWindow(frmMain::Layout(), recorder);
    HWND hwnd = window.Handle();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(recorder.events, std::vector<std::string>{"loaded"});
    EXPECT_EQ(TextOf(hwnd), "QuorexPC情報収集ツール");
    ASSERT_EQ(window.Dpi(), 96u);
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 296);
    EXPECT_EQ(client.bottom, 190);
    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_FALSE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);

    HWND run = window.Button(ButtonId::cmdRun);
    HWND end = window.Button(ButtonId::cmdEnd);
    EXPECT_EQ(TextOf(run), "処理開始");
    EXPECT_EQ(TextOf(end), "終　了");
    const RECT r = ClientRectOf(run, hwnd);
    EXPECT_EQ(r.left, 28);  // 413 twips
    EXPECT_EQ(r.top, 22);
    EXPECT_EQ(r.right - r.left, 241);
    EXPECT_EQ(r.bottom - r.top, 62);
    EXPECT_EQ(ClientRectOf(end, hwnd).top, 106);
    EXPECT_TRUE(IsWindowVisible(run) && IsWindowVisible(end));
    for (ButtonId id : {ButtonId::cmdNIC, ButtonId::cmdCPU, ButtonId::cmdOS, ButtonId::cmdMB,
                        ButtonId::cmdUUID}) {
        EXPECT_FALSE(IsWindowVisible(window.Button(id))) << NameOf(id);
    }
    EXPECT_EQ(TextOf(window.Button(ButtonId::cmdMB)), "M/B情報");
    EXPECT_EQ(GetNextDlgTabItem(hwnd, end, FALSE), run);
    EXPECT_EQ(GetNextDlgTabItem(hwnd, run, FALSE), end);

    SendMessageW(run, BM_CLICK, 0, 0);
    window.SetButtonEnabled(ButtonId::cmdRun, false);
    EXPECT_FALSE(IsWindowEnabled(run));
    window.ProcessPendingEvents();
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"loaded", "cmdRun"}));

    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(recorder.events.back(), "close");
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Win32Window, InputForDisabledButtonsIsDroppedAndTheFocusComesBack) {
    Win32Window window(GetModuleHandleW(nullptr));
    Recorder recorder;
    window.ShowMainWindow(frmMain::Layout(), recorder);
    HWND hwnd = window.Handle();
    HWND run = window.Button(ButtonId::cmdRun);
    SetFocus(run);
    const ButtonId all[] = {ButtonId::cmdNIC,  ButtonId::cmdCPU, ButtonId::cmdOS, ButtonId::cmdMB,
                            ButtonId::cmdUUID, ButtonId::cmdEnd, ButtonId::cmdRun};
    for (ButtonId id : all) {
        window.SetButtonEnabled(id, false);
    }
    // What waits while the buttons are disabled: a click and Enter on the run button, and a
    // command for a disabled button that comes straight to the window.
    PostMessageW(run, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(run, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    PostMessageW(run, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageW(run, WM_CHAR, L'\r', 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(100 + static_cast<int>(ButtonId::cmdCPU), BN_CLICKED),
                 reinterpret_cast<LPARAM>(window.Button(ButtonId::cmdCPU)));
    for (ButtonId id : all) {
        window.SetButtonEnabled(id, true);
    }
    window.ProcessPendingEvents();
    EXPECT_EQ(recorder.events, std::vector<std::string>{"loaded"});
    EXPECT_EQ(GetFocus(), run);

    // Enabled again, the same command is taken.
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(100 + static_cast<int>(ButtonId::cmdCPU), BN_CLICKED),
                 reinterpret_cast<LPARAM>(window.Button(ButtonId::cmdCPU)));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"loaded", "cmdCPU"}));
}

TEST(Win32Window, NoBoxOnceTheWindowIsGone) {
    Win32Window window(GetModuleHandleW(nullptr));
    Recorder recorder;
    window.ShowMainWindow(frmMain::Layout(), recorder);
    window.EndProgram();
    // A box would block this thread until someone closed it.
    EXPECT_EQ(window.ShowMessage("処理を開始します。よろしいですか？", 33), kIdCancel);
}

// Presses a button of the next message box from another thread and tells what it read.
std::thread Answer(int button, std::wstring* text) {
    return std::thread([=] {
        for (int i = 0; i < 200; ++i) {
            if (HWND box = FindWindowW(L"#32770", L"QRX_PC_INFO"); box != nullptr) {
                wchar_t buf[512] = {};
                GetDlgItemTextW(box, 0xFFFF, buf, 512);
                *text = buf;
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
                return;
            }
            Sleep(50);
        }
    });
}

TEST(Win32Window, MessageBoxesAreOwnedModalAndReportTheButton) {
    // A quit message left by an earlier window would end the box at once.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    Win32Window window(GetModuleHandleW(nullptr));
    Recorder recorder;
    window.ShowMainWindow(frmMain::Layout(), recorder);
    std::wstring text;
    std::thread helper = Answer(IDCANCEL, &text);
    EXPECT_EQ(window.ShowMessage("処理を開始します。よろしいですか？", 33), kIdCancel);
    helper.join();
    EXPECT_EQ(Narrow(text), "処理を開始します。よろしいですか？");
    helper = Answer(IDOK, &text);
    EXPECT_EQ(window.ShowMessage("a\r\nb", 64), kIdOk);
    helper.join();
}

}  // namespace
}  // namespace qrx::test
