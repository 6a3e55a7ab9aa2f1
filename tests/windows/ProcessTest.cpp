// The real QRX_PC_INFO.exe as a process, driven from outside as a user would: through its
// window's messages, real input and the session's end.
#include "tests/windows/ProgramHarness.h"

#include "tests/shared/FrontEndContracts.h"

namespace qrx::test {
namespace {

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
        ASSERT_TRUE(app.Command(c.button, c.cls)) << c.cls;
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

// The Win32 window's driver of the shared close-during-a-command contract: the real program,
// held while a command, a second one and a close request are posted to it. (A whole run stops
// under Wine at a class its WMI lacks, so a category command stands in.)
struct Win32FrontEnd {
    App app;
    ButtonId Command() const { return ButtonId::cmdCPU; }
    int CloseDuringACommand() {
        app.Start(L"DEBUG", true);
        if (app.Window() == nullptr || SuspendThread(app.MainThread()) == static_cast<DWORD>(-1)) {
            return -1;
        }
        app.Post(ButtonId::cmdCPU);
        app.Post(ButtonId::cmdOS);
        PostMessageW(app.Window(), WM_CLOSE, 0, 0);
        ResumeThread(app.MainThread());
        return app.WaitExit();
    }
    std::vector<std::string> LogMessages() const { return app.LogMessages(); }
    std::vector<std::string> Records() const { return app.Records(); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Program, CloseDuringACommandContract, Win32FrontEnd);

TEST(Program, CloseDuringTheConfirmationEndsWithoutARun) {
    App app;
    app.Start(L"DEBUG", true);
    app.Post(ButtonId::cmdRun);
    HWND box = app.WaitBox();
    ASSERT_NE(box, nullptr);
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(app.Drain());
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
    // The command may be over (or dropped, as it came while the last one ended) before a look
    // from outside sees it; it is tried again then. A marker posted behind it tells when the
    // program has taken it.
    bool clicked = false;
    for (int attempt = 0; attempt < 20 && !clicked; ++attempt) {
        const std::size_t ended = app.CountLogged(EndLine("Win32_Processor"));
        app.Post(ButtonId::cmdCPU);
        app.PostMarker();
        WaitFor([&] { return !IsWindowEnabled(run) || app.MarkerHandled(); }, 20000, 1);
        if (!IsWindowEnabled(run)) {
            ClickAt(run);
            clicked = true;
            ASSERT_TRUE(WaitFor([&] {
                return app.CountLogged(EndLine("Win32_Processor")) > ended && IsWindowEnabled(run);
            }));
        }
    }
    ASSERT_TRUE(clicked);
    // The focus is where it was before the command.
    EXPECT_TRUE(WaitFor([&] { return app.Focus() == end; }, 3000));
    // Input is taken in the order it was made: once a Tab made after the click has moved the
    // focus on, the click has been taken too, and it started nothing (a box would hold the Tab).
    PressKey(VK_TAB);
    EXPECT_TRUE(WaitFor([&] { return app.Focus() == run; }));
    EXPECT_EQ(app.Box(), nullptr) << App::BoxText(app.Box());
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
TEST(DecoderProcess, WritesUtf8ToAPipe) {
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

// DLLs that the system loads for the program (COM and the instrumentation's servers,
// CryptoAPI's provider, the window's theme) come from the system folder: copies that a download
// dropped beside the program under their names stay unloaded, through a whole command. Wine
// prefers its own builtin DLLs for these names anyway; that the program itself takes its folder
// out of the search is shown by Program.TakesItsFolderOutOfTheDllSearchFirst.
TEST(Program, DllsDroppedBesideTheProgramAreNotLoaded) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const fs::path planted = fs::path(self).parent_path() / L"qrx_planted_dll.dll";
    const wchar_t* names[] = {
        L"dwmapi.dll",   L"uxtheme.dll",  L"version.dll",  L"cryptbase.dll", L"rsaenh.dll",
        L"wbemprox.dll", L"fastprox.dll", L"wbemdisp.dll", L"actxprxy.dll",  L"propsys.dll",
        L"iphlpapi.dll", L"dnsapi.dll",   L"msimg32.dll",  L"userenv.dll",   L"windowscodecs.dll"};
    App app;
    for (const wchar_t* name : names) {
        fs::copy_file(planted, app.Folder() / name);
    }
    app.Start(L"DEBUG", true);
    ASSERT_TRUE(app.Command(ButtonId::cmdCPU, "Win32_Processor"));
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_FALSE(app.Records().empty());
    for (const auto& entry : fs::directory_iterator(app.Folder())) {
        EXPECT_FALSE(entry.path().filename().wstring().starts_with(L"marker-"))
            << entry.path().filename();
    }
    // Loaded, the planted DLL does leave its marker.
    fs::copy_file(planted, app.Folder() / L"qrxcheck.dll");
    const HMODULE check = LoadLibraryW((app.Folder() / L"qrxcheck.dll").c_str());
    ASSERT_NE(check, nullptr);
    FreeLibrary(check);
    EXPECT_TRUE(fs::exists(app.Folder() / L"marker-qrxcheck.dll"));
}

// A folder stands for the data files below it; an archive is read with the libarchive built in,
// a damaged one says why.
TEST(DecoderProcess, ReadsFoldersAndArchives) {
    App app;
    const std::filesystem::path folder = app.Folder() / L"受付" / L"山田様";
    std::filesystem::create_directories(folder);
    {
        WinCrypto crypto;
        WinCodec codec;
        FakeWindow window;
        clsCipher cipher(crypto, codec, window);
        std::ofstream(folder / "PC_INFO_261201090000.dat", std::ios::binary)
            << cipher.gfEncryptDecrypt("----------Win32_OperatingSystem----------", 0) << "\r\n"
            << cipher.gfEncryptDecrypt("CSName\tYAMADA-PC", 0) << "\r\n";
        std::ofstream(app.Folder() / "week.zip", std::ios::binary) << "PK\x03\x04";
    }
    const std::string out = Capture(L"\"" + (BuildFolder() / L"QRX_PC_INFO_DECODE.exe").wstring() +
                                    L"\" --summary \"" + (app.Folder() / L"受付").wstring() +
                                    L"\" \"" + (app.Folder() / "week.zip").wstring() + L"\"");
    EXPECT_NE(out.find("山田様\\PC_INFO_261201090000.dat  2026-12-01 09:00:00  YAMADA-PC"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("week.zip: 圧縮ファイルとして読めません: 途中で切れています"),
              std::string::npos)
        << out;
}

// A device or a pipe named on the command line is refused in one line, never read (it may not
// end); a file that another program holds, and one that is missing, say why in the desk's
// words; the data file among them is still decoded.
TEST(DecoderProcess, DevicesPipesAndHeldFilesSayWhyAndTheRestDecodes) {
    App app;
    {
        WinCrypto crypto;
        WinCodec codec;
        FakeWindow window;
        clsCipher cipher(crypto, codec, window);
        std::ofstream(app.Folder() / "a.dat", std::ios::binary)
            << cipher.gfEncryptDecrypt("CSName\tYAMADA-PC", 0) << "\r\n";
    }
    const HANDLE pipe = CreateNamedPipeW(L"\\\\.\\pipe\\qrx-decoder-test", PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    const HANDLE held = CreateFileW((app.Folder() / "held.dat").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string folder = Narrow(app.Folder().wstring()) + "\\";
    const std::string out = Capture(L"\"" + (BuildFolder() / L"QRX_PC_INFO_DECODE.exe").wstring() +
                                    L"\" CON nul.dat COM1 \\\\.\\pipe\\qrx-decoder-test \"" +
                                    Widen(folder) + L"held.dat\" \"" + Widen(folder) +
                                    L"missing.dat\" \"" + Widen(folder) + L"a.dat\"");
    CloseHandle(held);
    CloseHandle(pipe);
    const std::string refused = ": 通常のファイルではありません (デバイスやパイプは読みません)\n";
    for (const std::string& line :
         {"CON" + refused, "nul.dat" + refused, "COM1" + refused,
          "\\\\.\\pipe\\qrx-decoder-test" + refused,
          folder + "held.dat: 開けません: ほかのプログラムが使用中です (ERROR_SHARING_VIOLATION)\n",
          folder + "missing.dat: 開けません: ファイルがありません (ERROR_FILE_NOT_FOUND)\n",
          std::string("CSName\tYAMADA-PC")}) {
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
}

// Started from Explorer the decoder is alone in a console of its own: files dropped on it make a
// page that the shell's "open" of .html takes (here a copy of it: the prefix's association is
// replaced for the case), it says so and waits for Enter, typed into that console. (Nothing
// given, it says how it is used: DesktopStartTest; attaching to read its console before it
// looked would make it a console of two.)
TEST(DecoderProcess, FilesDroppedFromExplorerOpenThePageAndItWaitsForEnter) {
    App app;
    {
        WinCrypto crypto;
        WinCodec codec;
        FakeWindow window;
        clsCipher cipher(crypto, codec, window);
        std::ofstream(app.Folder() / "PC_INFO_261201090000.dat", std::ios::binary)
            << cipher.gfEncryptDecrypt("----------Win32_OperatingSystem----------", 0) << "\r\n"
            << cipher.gfEncryptDecrypt("CSName\tYAMADA-PC", 0) << "\r\n";
    }
    const fs::path opened = app.Folder() / L"opened.html";
    const std::wstring open = L"cmd.exe /c copy \"%1\" \"" + opened.wstring() + L"\"";
    ASSERT_EQ(RegSetValueW(HKEY_CLASSES_ROOT, L".html", REG_SZ, L"QrxTestPage", 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueW(HKEY_CLASSES_ROOT, L"QrxTestPage\\shell\\open\\command", REG_SZ,
                           open.c_str(), 0),
              ERROR_SUCCESS);
    std::wstring line = L"\"" + (BuildFolder() / L"QRX_PC_INFO_DECODE.exe").wstring() + L"\" \"" +
                        (app.Folder() / "PC_INFO_261201090000.dat").wstring() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                               nullptr, nullptr, &si, &pi));
    ASSERT_TRUE(WaitFor([&] { return fs::exists(opened) && fs::file_size(opened) > 0; }, 60000));
    std::ifstream page(opened, std::ios::binary);
    const std::string html((std::istreambuf_iterator<char>(page)), {});
    EXPECT_NE(html.find("YAMADA-PC"), std::string::npos);
    // Its console says where the page is, until Enter.
    std::wstring screen;
    EXPECT_TRUE(WaitFor([&] {
        FreeConsole();
        HANDLE out = AttachConsole(pi.dwProcessId)
                         ? CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr)
                         : INVALID_HANDLE_VALUE;
        CONSOLE_SCREEN_BUFFER_INFO info{};
        GetConsoleScreenBufferInfo(out, &info);
        screen.assign(static_cast<std::size_t>(info.dwSize.X) * info.dwSize.Y, L' ');
        DWORD got = 0;
        ReadConsoleOutputCharacterW(out, screen.data(), static_cast<DWORD>(screen.size()), {0, 0},
                                    &got);
        CloseHandle(out);
        return screen.find(L"ブラウザーで開きました") != std::wstring::npos;
    })) << Narrow(screen);
    EXPECT_NE(screen.find(L"QRX_PC_INFO_DECODE_"), std::wstring::npos) << Narrow(screen);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_TIMEOUT);
    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    INPUT_RECORD keys[2] = {};
    for (auto& k : keys) {
        k.EventType = KEY_EVENT;
        k.Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        k.Event.KeyEvent.uChar.UnicodeChar = L'\r';
        k.Event.KeyEvent.wRepeatCount = 1;
    }
    keys[0].Event.KeyEvent.bKeyDown = TRUE;
    DWORD written = 0;
    WriteConsoleInputW(in, keys, 2, &written);
    CloseHandle(in);
    FreeConsole();
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    DWORD status = 99;
    GetExitCodeProcess(pi.hProcess, &status);
    EXPECT_EQ(status, 0u);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"QrxTestPage");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".html");
}

}  // namespace
}  // namespace qrx::test
