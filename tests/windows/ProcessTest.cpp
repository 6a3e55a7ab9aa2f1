// The real QRX_PC_INFO.exe as a process, driven from outside as a user would: through its
// window's messages, real input and the session's end.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cipher/clsCipher.h"
#include "platform/Windowing.h"
#include "platform/windows/WinCodec.h"
#include "platform/windows/WinCrypto.h"
#include "platform/windows/WinText.h"
#include "tests/support/Fakes.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

constexpr int kFirstButtonId = 100;
const std::string kClosingLine = "Form_Load() ----------PC Infomation Get Program E n d----------";

fs::path BuildFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path().parent_path();
}

// Waits until `done` holds; false after `ms` milliseconds.
bool WaitFor(const std::function<bool()>& done, int ms = 20000, int pollMs = 20) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        Sleep(static_cast<DWORD>(pollMs));
    }
    return true;
}

std::vector<std::string> LinesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// The text of code page 932 as UTF-8.
std::string FromAnsi(const std::string& text) {
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return Narrow(wide);
}

// One copy of the program in a folder of its own, started with a command line.
class App {
  public:
    explicit App(const std::wstring& folderName = L"qrx app") {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = fs::path(temp) / folderName;
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        exe_ = folder_ / L"QRX_PC_INFO.exe";
        fs::copy_file(BuildFolder() / L"QRX_PC_INFO.exe", exe_);
    }
    ~App() {
        if (process_.hProcess != nullptr) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, 5000);
            }
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    const fs::path& Exe() const { return exe_; }
    const fs::path& Folder() const { return folder_; }

    // Starts the program with exactly `commandLine` and waits for its window.
    void Start(std::wstring commandLine) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        ASSERT_TRUE(CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, folder_.c_str(), &si, &process_));
        ASSERT_TRUE(WaitFor([&] { return (window_ = FindOwn(L"QRX_PC_INFO_frmMain")) != nullptr; }))
            << "no window";
        WaitForInputIdle(process_.hProcess, 5000);
    }
    void Start(const std::wstring& arguments, bool quoted) {
        Start((quoted ? L"\"" + exe_.wstring() + L"\"" : exe_.wstring()) +
              (arguments.empty() ? L"" : L" " + arguments));
    }

    HWND Window() const { return window_; }
    HWND Button(ButtonId id) const {
        return GetDlgItem(window_, kFirstButtonId + static_cast<int>(id));
    }
    HANDLE MainThread() const { return process_.hThread; }
    void Post(ButtonId id) {
        PostMessageW(window_, WM_COMMAND,
                     MAKEWPARAM(kFirstButtonId + static_cast<int>(id), BN_CLICKED),
                     reinterpret_cast<LPARAM>(Button(id)));
    }
    // The message box the program shows, or nullptr.
    HWND Box() const { return FindOwn(L"#32770"); }
    HWND WaitBox() const {
        HWND box = nullptr;
        WaitFor([&] { return (box = Box()) != nullptr; });
        return box;
    }
    static std::string BoxText(HWND box) {
        wchar_t text[2048] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 2048);
        return Narrow(text);
    }
    static void Answer(HWND box, int button) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    }
    // The exit code once the process has ended, or -1 when it still runs after `ms`.
    int WaitExit(int ms = 20000) {
        if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0) {
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<int>(code);
    }
    bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(process_.dwThreadId, &info);
        return info.hwndFocus;
    }

    // The trace log's messages (what follows "] "), empty when there is no log.
    std::vector<std::string> LogMessages() const {
        std::vector<std::string> out;
        if (!fs::exists(folder_ / "INFO_LOG")) {
            return out;
        }
        for (const auto& month : fs::directory_iterator(folder_ / "INFO_LOG")) {
            for (const auto& file : fs::directory_iterator(month.path())) {
                for (const auto& line : LinesOf(file.path())) {
                    const std::string text = FromAnsi(line);
                    out.push_back(text.substr(text.find("] ") + 2));
                }
            }
        }
        return out;
    }
    bool HasLog() const { return fs::exists(folder_ / "INFO_LOG"); }
    bool Logged(const std::string& message) const {
        for (const auto& m : LogMessages()) {
            if (m == message) {
                return true;
            }
        }
        return false;
    }

    std::vector<fs::path> DataFiles() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.path().extension() == ".dat") {
                files.push_back(entry.path());
            }
        }
        return files;
    }
    // The records of every data file, decrypted.
    std::vector<std::string> Records() const {
        WinCrypto crypto;
        WinCodec codec;
        FakeWindow window;
        clsCipher cipher(crypto, codec, window);
        std::vector<std::string> records;
        for (const auto& file : DataFiles()) {
            for (const auto& line : LinesOf(file)) {
                records.push_back(cipher.gfEncryptDecrypt(line, 1));
            }
        }
        return records;
    }

  private:
    // A top-level window of the program's process with the class `className`.
    HWND FindOwn(const wchar_t* className) const {
        struct Search {
            DWORD pid;
            const wchar_t* cls;
            HWND found;
        } search{process_.dwProcessId, className, nullptr};
        EnumWindows(
            [](HWND hwnd, LPARAM lp) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lp);
                DWORD pid = 0;
                GetWindowThreadProcessId(hwnd, &pid);
                wchar_t cls[64] = {};
                GetClassNameW(hwnd, cls, 64);
                if (pid == s->pid && wcscmp(cls, s->cls) == 0 && IsWindowVisible(hwnd)) {
                    s->found = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    fs::path folder_;
    fs::path exe_;
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// A real click of the left mouse button in the middle of `hwnd`, through the system's input.
void ClickAt(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    const int x = (r.left + r.right) / 2;
    const int y = (r.top + r.bottom) / 2;
    INPUT input[3] = {};
    for (auto& i : input) {
        i.type = INPUT_MOUSE;
        i.mi.dx = MulDiv(x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
        i.mi.dy = MulDiv(y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    }
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(3, input, sizeof(INPUT));
}

std::string StartLine(const std::string& cls) {
    return "GetInfo() ----------" + cls + " Start----------";
}
std::string EndLine(const std::string& cls) {
    return "GetInfo() ----------" + cls + " E n d----------";
}

// What a console program writes to its standard output (a pipe), as bytes.
std::string Capture(std::wstring commandLine) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    CreatePipe(&read, &write, &sa, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = write;
    si.hStdError = write;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &si, &pi)) {
        CloseHandle(read);
        CloseHandle(write);
        return "(did not start)";
    }
    CloseHandle(write);
    std::string bytes;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(read, buf, sizeof buf, &n, nullptr) && n > 0) {
        bytes.append(buf, n);
    }
    CloseHandle(read);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return bytes;
}

// The first value of `property` of the class `cls` as Wine's own wmic reports it.
std::string Wmic(const std::string& cls, const std::string& property) {
    const std::string bytes = Capture(Widen("wmic.exe path " + cls + " get " + property));
    // UTF-16 when it starts with a byte order mark, the ANSI code page otherwise.
    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text = Narrow(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2),
                                   (bytes.size() - 2) / 2));
    } else {
        text = FromAnsi(bytes);
    }
    // A header line with the property's name, then one line per instance.
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string l = text.substr(start, end - start);
        while (!l.empty() && (l.back() == '\r' || l.back() == ' ')) {
            l.pop_back();
        }
        if (!l.empty()) {
            lines.push_back(l);
        }
        start = end + 1;
    }
    return lines.size() >= 2 ? lines[1] : "(no value: " + text + ")";
}

TEST(Program, CategoryCommandsWriteWhatWmicReports) {
    App app;
    app.Start(L"DEBUG", true);
    const struct {
        ButtonId button;
        const char* cls;
        const char* property;
    } cases[] = {
        {ButtonId::cmdCPU, "Win32_Processor", "Name"},
        {ButtonId::cmdOS, "Win32_OperatingSystem", "Caption"},
        {ButtonId::cmdMB, "Win32_BaseBoard", "Product"},
        {ButtonId::cmdUUID, "Win32_ComputerSystemProduct", "UUID"},
    };
    for (const auto& c : cases) {
        app.Post(c.button);
        // Done once the class is traced and the buttons are enabled, and the event pass in which
        // they were enabled (the command is still in flight there) is over.
        ASSERT_TRUE(WaitFor([&] {
            return app.Logged(EndLine(c.cls)) && IsWindowEnabled(app.Button(ButtonId::cmdRun));
        })) << c.cls;
        Sleep(300);
    }
    // Before any run the records go to the file of the zero date.
    const auto files = app.DataFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename(), "PC_INFO_991230000000.dat");
    const auto records = app.Records();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cls);
        const std::string header = std::string(10, '-') + c.cls + std::string(10, '-');
        auto at = std::find(records.begin(), records.end(), header);
        ASSERT_NE(at, records.end());
        const std::string prefix = std::string(c.property) + "\t";
        at = std::find_if(at, records.end(),
                          [&](const std::string& r) { return r.rfind(prefix, 0) == 0; });
        ASSERT_NE(at, records.end());
        const std::string expected = Wmic(c.cls, c.property);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(at->substr(prefix.size()), expected);
    }
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitExit(), 0);
}

TEST(Program, FullRunReportsTheMissingCaptionAndKeepsTheFocus) {
    App app;
    app.Start(L"", true);
    HWND run = app.Button(ButtonId::cmdRun);
    // A real click: the button takes the focus. Under a loaded Xvfb an injected click can be
    // lost before the window is active, so it is given a few chances.
    WaitFor([&] { return app.Focus() == app.Button(ButtonId::cmdEnd); }, 5000);
    HWND box = nullptr;
    for (int attempt = 0; attempt < 3 && box == nullptr; ++attempt) {
        ClickAt(run);
        WaitFor([&] { return (box = app.Box()) != nullptr; }, 15000);
    }
    ASSERT_NE(box, nullptr);
    const std::string confirmation = "処理を開始します。よろしいですか？";
    EXPECT_EQ(App::BoxText(box), confirmation);
    App::Answer(box, IDOK);
    // The next box, once its text is there.
    HWND errorBox = nullptr;
    std::string error;
    ASSERT_TRUE(WaitFor([&] {
        errorBox = app.Box();
        error = errorBox != nullptr ? App::BoxText(errorBox) : "";
        return !error.empty() && error != confirmation;
    }));
    // Wine's Win32_NetworkAdapterConfiguration has no Caption: the run stops at its first class.
    EXPECT_NE(error.find("80041002"), std::string::npos) << error;
    EXPECT_NE(error.find("SWbemPropertySet"), std::string::npos) << error;
    App::Answer(errorBox, IDOK);
    ASSERT_TRUE(WaitFor([&] { return app.Box() == nullptr; }));
    EXPECT_TRUE(WaitFor([&] { return app.Focus() == run; }, 3000));
    EXPECT_TRUE(IsWindowEnabled(run));
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitExit(), 0);
}

// The first word of the argument text is "DEBUG", exactly; the program's path may hold spaces,
// quoted or not, and the folder Japanese characters.
TEST(Program, CommandLines) {
    const struct {
        const wchar_t* arguments;
        bool quoted;
        bool debug;
    } cases[] = {
        {L"DEBUG", true, true},  {L"DEBUG x", true, true}, {L" DEBUG", true, false},
        {L"debug", true, false}, {L"DEBUG", false, true},  {L"DEBUGX", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.arguments) + (c.quoted ? " (quoted path)" : " (unquoted path)"));
        App app(L"情報 収集");
        app.Start(c.arguments, c.quoted);
        PostMessageW(app.Window(), WM_CLOSE, 0, 0);
        ASSERT_EQ(app.WaitExit(), 0);
        if (c.debug) {
            EXPECT_EQ(app.LogMessages(),
                      (std::vector<std::string>{
                          "", "Form_Load() ----------PC Infomation Get Program Start----------",
                          kClosingLine}));
        } else {
            EXPECT_FALSE(app.HasLog());
        }
    }
}

TEST(Program, EndOfSessionWritesTheClosingLineOnce) {
    App app;
    app.Start(L"DEBUG", true);
    EXPECT_TRUE(SendMessageW(app.Window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    SendMessageW(app.Window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitExit(), 0);
    const auto log = app.LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), kClosingLine), 1) << log.size();
}

// The session may end the process as soon as WM_ENDSESSION returns: the closing line is written
// there even while a command works; the command still runs to its end if the process lives.
TEST(Program, EndOfSessionDuringACommandWritesTheClosingLineAtOnce) {
    App app;
    app.Start(L"DEBUG", true);
    ASSERT_NE(SuspendThread(app.MainThread()), static_cast<DWORD>(-1));
    app.Post(ButtonId::cmdCPU);
    PostMessageW(app.Window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    ResumeThread(app.MainThread());
    EXPECT_EQ(app.WaitExit(), 0);
    const auto log = app.LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), kClosingLine), 1);
    const auto closing = std::find(log.begin(), log.end(), kClosingLine);
    const auto end = std::find(log.begin(), log.end(), EndLine("Win32_Processor"));
    ASSERT_NE(end, log.end());
    EXPECT_LT(closing, end);
}

// Messages that wait while the program is held: a command, a second one and a close request.
// The first command runs to its end, the second (its button disabled by then) is dropped, and
// the close follows with its trace line.
TEST(Program, CloseDuringACommandWaitsForIt) {
    App app;
    app.Start(L"DEBUG", true);
    ASSERT_NE(SuspendThread(app.MainThread()), static_cast<DWORD>(-1));
    app.Post(ButtonId::cmdCPU);
    app.Post(ButtonId::cmdOS);
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ResumeThread(app.MainThread());
    EXPECT_EQ(app.WaitExit(), 0);
    const auto log = app.LogMessages();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.back(), kClosingLine);
    EXPECT_EQ(log[log.size() - 2], EndLine("Win32_Processor"));
    EXPECT_FALSE(app.Logged(StartLine("Win32_OperatingSystem")));
}

TEST(Program, CloseDuringTheConfirmationEndsWithoutARun) {
    App app;
    app.Start(L"DEBUG", true);
    app.Post(ButtonId::cmdRun);
    HWND box = app.WaitBox();
    ASSERT_NE(box, nullptr);
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    Sleep(300);
    EXPECT_TRUE(app.Running());
    EXPECT_EQ(app.Box(), box);
    App::Answer(box, IDCANCEL);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_TRUE(app.DataFiles().empty());
    EXPECT_EQ(app.LogMessages().back(), kClosingLine);
}

// A click made on the run button while a command works waits in the queue; it must not start
// a run once the buttons are enabled again.
TEST(Program, AClickWhileTheButtonsAreDisabledIsDropped) {
    App app;
    app.Start(L"DEBUG", true);
    HWND run = app.Button(ButtonId::cmdRun);
    HWND end = app.Button(ButtonId::cmdEnd);
    // The window is activated (and gives the focus on) shortly after it opens.
    ASSERT_TRUE(WaitFor([&] { return app.Focus() == end; }, 5000));
    // The command may be over before a look from outside sees it; it is tried again then.
    bool clicked = false;
    for (int attempt = 0; attempt < 20 && !clicked; ++attempt) {
        const auto before = app.LogMessages().size();
        app.Post(ButtonId::cmdCPU);
        WaitFor([&] { return !IsWindowEnabled(run) || app.LogMessages().size() > before + 1; },
                20000, 1);
        if (!IsWindowEnabled(run)) {
            ClickAt(run);
            clicked = true;
        }
        ASSERT_TRUE(WaitFor([&] { return app.Logged(EndLine("Win32_Processor")); }));
        WaitFor([&] { return IsWindowEnabled(run) != FALSE; });
        Sleep(300);
    }
    ASSERT_TRUE(clicked);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(run) != FALSE; }));
    Sleep(500);
    EXPECT_EQ(app.Box(), nullptr) << App::BoxText(app.Box());
    // The focus is where it was before the command.
    EXPECT_TRUE(WaitFor([&] { return app.Focus() == end; }, 3000));
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitExit(), 0);
}

// The stored geometry in twips at the DPI the system reports (Wine's LogPixels).
TEST(Program, GeometryAtEveryDpi) {
    // This thread reads the window's own pixels, unscaled.
    using SetContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
    if (auto set = reinterpret_cast<SetContextFn>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
        set != nullptr) {
        set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
    }
    HKEY desktop = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &desktop, nullptr),
              ERROR_SUCCESS);
    const auto setDpi = [&](DWORD dpi) {
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                       sizeof dpi);
    };
    const struct {
        ButtonId id;
        int left, top, width, height;  // twips
    } buttons[] = {{ButtonId::cmdRun, 413, 330, 3615, 930},
                   {ButtonId::cmdEnd, 413, 1590, 3615, 930}};
    for (const int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(dpi);
        setDpi(static_cast<DWORD>(dpi));
        App app;
        app.Start(L"", true);
        const auto px = [&](int twips) { return MulDiv(twips, dpi, 1440); };
        RECT client{};
        GetClientRect(app.Window(), &client);
        EXPECT_EQ(client.right, px(4440));
        EXPECT_EQ(client.bottom, px(2850));
        for (const auto& b : buttons) {
            RECT r{};
            GetWindowRect(app.Button(b.id), &r);
            MapWindowPoints(HWND_DESKTOP, app.Window(), reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ(r.left, px(b.left));
            EXPECT_EQ(r.top, px(b.top));
            EXPECT_EQ(r.right - r.left, px(b.width));
            EXPECT_EQ(r.bottom - r.top, px(b.height));
        }
        PostMessageW(app.Window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(app.WaitExit(), 0);
    }
    setDpi(96);
    RegCloseKey(desktop);
}

// The support decoder writes UTF-8 bytes to a pipe, whatever the console's code page.
TEST(Program, DecoderWritesUtf8ToAPipe) {
    App app;  // a folder of its own
    const std::string record = "Name\tテスト ①";
    {
        WinCrypto crypto;
        WinCodec codec;
        FakeWindow window;
        clsCipher cipher(crypto, codec, window);
        std::ofstream(app.Folder() / "a.dat", std::ios::binary)
            << cipher.gfEncryptDecrypt(record, 0) << "\r\n";
    }
    const std::string out = Capture(L"\"" + (BuildFolder() / L"QRX_PC_INFO_DECODE.exe").wstring() +
                                    L"\" \"" + (app.Folder() / "a.dat").wstring() + L"\"");
    EXPECT_EQ(out.substr(0, out.find_last_not_of("\r\n") + 1), record);
}

}  // namespace
}  // namespace qrx::test
