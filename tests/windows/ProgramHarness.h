// The real QRX_PC_INFO.exe as a process, driven from outside as a user would: through its
// window's messages, real input and the session's end. Every wait is for a condition (a window,
// a line of the trace log, a marker the program has handled) with a time limit, never a fixed
// pause.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "cipher/clsCipher.h"
#include "platform/Windowing.h"
#include "platform/windows/WinCodec.h"
#include "platform/windows/WinCrypto.h"
#include "platform/windows/WinText.h"
#include "tests/support/Fakes.h"

namespace qrx::test {

namespace fs = std::filesystem;

inline constexpr int kFirstButtonId = 100;
inline const std::string kClosingLine =
    "Form_Load() ----------PC Infomation Get Program E n d----------";

inline fs::path BuildFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path().parent_path();
}

// Waits until `done` holds; false after `ms` milliseconds.
inline bool WaitFor(const std::function<bool()>& done, int ms = 20000, int pollMs = 20) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        Sleep(static_cast<DWORD>(pollMs));
    }
    return true;
}

inline std::vector<std::string> LinesOf(const fs::path& file) {
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
inline std::string FromAnsi(const std::string& text) {
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return Narrow(wide);
}

// A real press and release of the key `vk`, through the system's input.
inline void PressKey(WORD vk) {
    INPUT input[2] = {};
    for (auto& i : input) {
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
    }
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

inline std::string StartLine(const std::string& cls) {
    return "GetInfo() ----------" + cls + " Start----------";
}
inline std::string EndLine(const std::string& cls) {
    return "GetInfo() ----------" + cls + " E n d----------";
}

// The name of the running test case, as a folder name: cases that run at the same time in one
// Wine prefix keep to folders of their own.
inline std::wstring CaseName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (info == nullptr) {
        return L"";
    }
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '-');  // typed suites: "Program/Contract/0"
    return Widen(name);
}

// One copy of the program in a folder of its own (named after the test case), started with a
// command line.
class App {
  public:
    explicit App(const std::wstring& folderName = L"qrx app") {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = fs::path(temp) / (folderName + L" " + CaseName());
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

    // Waits until the program has handled every message posted to it so far: messages posted to
    // one thread are taken in order, so once a marker posted behind them has taken effect, they
    // have been handled. The marker flips the pushed state of a button that is never shown.
    bool Drain(int ms = 20000) {
        PostMarker();
        return WaitFor([&] { return MarkerHandled(); }, ms);
    }
    void PostMarker() {
        PostMessageW(Button(ButtonId::cmdNIC), BM_SETSTATE, (++markers_ % 2) == 1 ? TRUE : FALSE,
                     0);
    }
    bool MarkerHandled() const {
        DWORD_PTR state = 0;
        return SendMessageTimeoutW(Button(ButtonId::cmdNIC), BM_GETSTATE, 0, 0, SMTO_NORMAL, 1000,
                                   &state) != 0 &&
               ((state & BST_PUSHED) != 0) == ((markers_ % 2) == 1);
    }
    // The number of times `message` is in the trace log.
    std::size_t CountLogged(const std::string& message) const {
        const auto log = LogMessages();
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), message));
    }
    // Posts the command of `id` until it starts and waits until it is over: its class's end line
    // is traced and the buttons are enabled again. A command posted while the previous one takes
    // its last look at the queue is dropped, as a click on a disabled button is: it is posted
    // again then.
    bool Command(ButtonId id, const std::string& cls) {
        HWND run = Button(ButtonId::cmdRun);
        const std::size_t started = CountLogged(StartLine(cls));
        const std::size_t ended = CountLogged(EndLine(cls));
        for (int attempt = 0; attempt < 20; ++attempt) {
            Post(id);
            if (!Drain()) {
                return false;
            }
            // A command disables the buttons before it looks at the queue, and traces its start
            // before it enables them again: in this order, one of the two shows it began.
            if (!IsWindowEnabled(run) || CountLogged(StartLine(cls)) > started) {
                return WaitFor(
                    [&] { return CountLogged(EndLine(cls)) > ended && IsWindowEnabled(run); });
            }
        }
        return false;
    }
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
    int markers_ = 0;
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// A real click of the left mouse button in the middle of `hwnd`, through the system's input.
inline void ClickAt(HWND hwnd) {
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

// What a console program writes to its standard output (a pipe), as bytes. Its standard input
// is `input` (this process's own when null); its errors go to the same pipe, or to this
// process's error output when `errorsApart`.
inline std::string Capture(std::wstring commandLine, HANDLE input = nullptr,
                           bool errorsApart = false) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    CreatePipe(&read, &write, &sa, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = write;
    si.hStdError = errorsApart ? GetStdHandle(STD_ERROR_HANDLE) : write;
    si.hStdInput = input != nullptr ? input : GetStdHandle(STD_INPUT_HANDLE);
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

// The standard output of `program` run with `arguments` and the file `input` as its standard
// input; its errors are not captured.
inline std::string CaptureFrom(const fs::path& program, const std::wstring& arguments,
                               const fs::path& input) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE in =
        CreateFileW(input.c_str(), GENERIC_READ, FILE_SHARE_READ, &sa, OPEN_EXISTING, 0, nullptr);
    const std::string bytes = Capture(L"\"" + program.wstring() + L"\" " + arguments, in, true);
    CloseHandle(in);
    return bytes;
}

// The first value of `property` of the class `cls` as Wine's own wmic reports it.
inline std::string Wmic(const std::string& cls, const std::string& property) {
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

}  // namespace qrx::test
