#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/Program.h"
#include "app/frmMain.h"
#include "cipher/clsCipher.h"
#include "collect/CollectionPlan.h"
#include "platform/linux/IconvCodec.h"
#include "platform/linux/MbedTlsCrypto.h"
#include "platform/linux/TerminalStreams.h"
#include "platform/linux/TerminalWindowing.h"
#include "tests/shared/FrontEndContracts.h"
#include "tests/support/Fakes.h"
#include "tests/support/Harness.h"
#include "tests/support/Processes.h"
#include "tests/support/TempFolder.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

struct Recorder : IWindowEvents {
    std::vector<std::string> events;
    IWindowing* window = nullptr;
    bool disableOnLoad = false;
    void OnLoaded() override {
        events.push_back("loaded");
        if (disableOnLoad) {
            window->SetButtonEnabled(ButtonId::cmdRun, false);
        }
    }
    bool OnCloseRequested() override {
        events.push_back("close");
        return true;
    }
    void OnButtonClicked(ButtonId id) override {
        events.push_back(NameOf(id));
        if (id == ButtonId::cmdEnd) {
            window->EndProgram();
        }
    }
};

// The menu shows the visible buttons in screen order and takes a chosen number as a click; a
// disabled button cannot be chosen, the end of input closes, and answer lines are bounded with
// their rest discarded.
TEST(Terminal, InputDrivesTheMenu) {
    const std::string longLine(3 * TerminalWindowing::kMaxLine, '1');
    const struct {
        const char* row;
        std::string input;
        std::vector<std::string> events;
        bool disableRun = false;
        const char* shown = "";     // a text the output holds
        const char* notShown = "";  // a text it lacks
    } cases[] = {
        {"menu in screen order",
         "7\nabc\n1\nq\n",
         {"loaded", "cmdRun", "close"},
         false,
         "QuorexPC情報収集ツール\n  1) 処理開始\n  2) 終　了\n",
         "NIC"},
        {"end of input closes", "", {"loaded", "close"}},
        {"the end button ends without closing", "2\n1\n", {"loaded", "cmdEnd"}},
        {"a disabled button", "1\n", {"loaded", "close"}, true, "処理開始 (使用できません)"},
        {"a line three times the bound", longLine + "\n2\n", {"loaded", "cmdEnd"}},
        {"spaces up to the bound",
         std::string(TerminalWindowing::kMaxLine, ' ') + "1\n",
         {"loaded", "close"}},
        {"endless input without a line end", std::string(100000, '\0'), {"loaded", "close"}},
        {"CR LF line ends", "1\r\n2", {"loaded", "cmdRun", "cmdEnd"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        std::istringstream in(c.input);
        std::ostringstream out;
        TerminalWindowing window(in, out);
        Recorder r;
        r.window = &window;
        r.disableOnLoad = c.disableRun;
        window.ShowMainWindow(frmMain::Layout(), r);
        window.Run();
        EXPECT_EQ(r.events, c.events);
        EXPECT_NE(out.str().find(c.shown), std::string::npos) << out.str();
        if (*c.notShown != '\0') {
            EXPECT_EQ(out.str().find(c.notShown), std::string::npos) << out.str();
        }
    }
}

TEST(Terminal, MessageBoxAnswers) {
    const struct {
        const char* input;
        int style;
        int result;
    } cases[] = {
        {"\n", 33, kIdOk},         {"o\n", 33, kIdOk},          {"OK\n", 33, kIdOk},
        {"c\n", 33, kIdCancel},    {"Cancel\n", 33, kIdCancel}, {"", 33, kIdCancel},
        {"x\nc\n", 33, kIdCancel}, {"anything\n", 64, kIdOk},   {"", 16, kIdOk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " to style " + std::to_string(c.style));
        std::istringstream in(c.input);
        std::ostringstream out;
        TerminalWindowing window(in, out);
        EXPECT_EQ(window.ShowMessage("a\r\nb", c.style), c.result);
        EXPECT_NE(out.str().find("[QRX_PC_INFO]"), std::string::npos);
        EXPECT_NE(out.str().find("a\nb\n"), std::string::npos);
    }
}

// The whole program on the terminal, over fakes; the clock's reading, taken once a run has
// started, can stand in for a signal that arrives while the run works.
struct TerminalSession {
    struct SignalClock : FakeClock {
        bool signalOnRead = false;
        bool signalled = false;
        LocalDateTime Now() override {
            signalled = signalled || signalOnRead;
            return FakeClock::Now();
        }
    };
    FakeAppInfo app;
    SignalClock clock;
    MemoryFileSystem files;
    ToyCrypto crypto;
    FakeCodec codec;
    FakeWmi wmi;
    std::string output;
    int status = -1;

    TerminalSession() {
        files.AddFolder(app.folder);
        ServeEveryPlanClass(wmi);
    }
    void Run(const std::string& input, const std::string& commandLine = "DEBUG") {
        std::istringstream in(input);
        std::ostringstream out;
        TerminalWindowing window(in, out, [this] { return clock.signalled; });
        Program program({window, app, clock, files, crypto, codec, wmi});
        program.Start(commandLine);
        status = window.Run();
        output = out.str();
    }
    std::size_t Menus() const {
        std::size_t n = 0;
        for (auto at = output.find("番号を入力"); at != std::string::npos;
             at = output.find("番号を入力", at + 1)) {
            ++n;
        }
        return n;
    }
    std::vector<std::string> Log() const { return files.Lines(kFakeLogPath); }
};
struct TerminalProgram : ::testing::Test, TerminalSession {
    using TerminalSession::Run;
};

// The terminal's driver of the shared close-during-a-command contract: a close signal comes
// while the run works, and a second run is asked for after it.
struct TerminalFrontEnd : TerminalSession {
    ButtonId Command() const { return ButtonId::cmdRun; }
    int CloseDuringACommand() {
        clock.signalOnRead = true;
        Run("1\n\n\n1\n");
        EXPECT_EQ(files.Lines("/opt/qrx/PC_INFO_261206090507.dat").size(), 34u);  // every line
        EXPECT_NE(output.find("処理を終了しました。"), std::string::npos);
        EXPECT_EQ(Menus(), 1u);
        return status;
    }
    std::vector<std::string> LogMessages() const { return FakeLogMessages(files); }
    std::vector<std::string> Records() { return FakeRecords(files, crypto, codec); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Terminal, CloseDuringACommandContract, TerminalFrontEnd);

TEST_F(TerminalProgram, InputEndingAtTheConfirmationCancelsAndClosesWithoutTheMenu) {
    Run("1\n");
    EXPECT_TRUE(files.Lines("/opt/qrx/PC_INFO_261206090507.dat").empty());
    EXPECT_EQ(Menus(), 1u);
    EXPECT_TRUE(Log().back().ends_with("Program E n d----------"));
}

TEST_F(TerminalProgram, TheExitStatusTellsWhetherAnErrorWasShown) {
    Run("1\n\n\n", "");
    EXPECT_EQ(status, 0);
    files.readOnly.insert(app.folder);  // every record lost: the error box
    Run("1\n\n\n", "");
    EXPECT_EQ(status, 1);
    files.readOnly.clear();
    wmi.classes.erase("Win32_Processor");  // an error that ends the run
    Run("1\n\n\n", "");
    EXPECT_EQ(status, 1);
}

TEST(TerminalCharset, UnicodeLocalesKeepUtf8OthersGetTheirCodeSetWithTransliteration) {
    EXPECT_EQ(TerminalCodeset("UTF-8"), "");
    EXPECT_EQ(TerminalCodeset("ANSI_X3.4-1968"), "");
    EXPECT_EQ(TerminalCodeset("EUC-JP"), "EUC-JP//TRANSLIT");
    const struct {
        const char* codeset;
        std::string expected;
    } cases[] = {
        {"EUC-JP//TRANSLIT", "\xBD\xE8\xCD\xFD\xB3\xAB\xBB\xCF \xA2\xAA (1)"},
        {"SHIFT_JIS//TRANSLIT", "\x8F\x88\x97\x9D\x8A\x4A\x8E\x6E \x81\xA8 (1)"},
    };
    for (const auto& c : cases) {
        std::ostringstream sink;
        {
            CharsetOutputBuffer converted(sink, c.codeset);
            std::ostream out(&converted);
            const std::string text = "処理開始 → ①";
            // What reaches the terminal right after each flush, as a prompt needs it: every
            // whole character; one cut in two waits for its rest.
            out << text.substr(0, 5) << std::flush;
            EXPECT_EQ(sink.str(), c.expected.substr(0, 2)) << c.codeset;
            out << text.substr(5) << std::flush;
            EXPECT_EQ(sink.str(), c.expected) << c.codeset;
            out << "\n";
        }
        EXPECT_EQ(sink.str(), c.expected + "\n") << c.codeset;
    }
}

// The built program, copied into a folder of its own and fed through a pipe without a display.
struct Process : ::testing::Test {
    TempFolder folder;
    fs::path dir = folder.dir;
    void SetUp() override { fs::copy_file(QRX_PROGRAM, dir / "QRX_PC_INFO"); }
    std::string Run(const std::string& input, const std::string& args) {
        const std::string command = "cd " + dir.string() + " && printf '" + input +
                                    "' | env -u DISPLAY -u WAYLAND_DISPLAY ./QRX_PC_INFO " + args;
        std::string out;
        EXPECT_EQ(RunShell(command, out), 0);
        return out;
    }
    std::vector<std::string> Lines(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) {
            EXPECT_EQ(line.back(), '\r');
            line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
    std::vector<fs::path> Find(const std::string& suffix) { return FindFiles(dir, suffix); }
};

TEST_F(Process, DebugOpenAndCloseLeaveThreeTraceLinesEndLeavesTwoPlainLeavesNone) {
    Run("q\\n", "DEBUG");
    auto logs = Find(".LOG");
    ASSERT_EQ(logs.size(), 1u);
    auto lines = Lines(logs[0]);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].ends_with("] "));
    EXPECT_EQ(lines[0].substr(8, 13), " QRX_PC_INFO[");
    EXPECT_TRUE(
        lines[2].ends_with("Form_Load() ----------PC Infomation Get Program E n d----------"));
    Run("2\\n", "DEBUG");
    EXPECT_EQ(Lines(logs[0]).size(), 5u);
    fs::remove_all(dir / "INFO_LOG");
    Run("2\\n", "");
    Run("q\\n", "debug");
    EXPECT_FALSE(fs::exists(dir / "INFO_LOG"));
}

TEST_F(Process, ARunWritesADataFileWhoseLinesDecryptToThePlan) {
    const std::string out = Run("1\\n\\n\\n", "DEBUG");
    const auto data = Find(".dat");
    ASSERT_EQ(data.size(), 1u);
    EXPECT_NE(out.find("[" + data[0].string() + "]"), std::string::npos) << out;
    MbedTlsCrypto crypto;
    IconvCodec codec;
    FakeWindow window;
    clsCipher cipher(crypto, codec, window);
    std::vector<std::string> records;
    for (const auto& line : Lines(data[0])) {
        records.push_back(cipher.gfEncryptDecrypt(line, 1));
    }
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0], "----------Win32_NetworkAdapterConfiguration----------");
    std::vector<std::string> headers;
    std::copy_if(records.begin(), records.end(), std::back_inserter(headers),
                 [](const std::string& r) { return r.starts_with("----------"); });
    std::vector<std::string> planned;
    for (const auto& step : RunSteps()) {
        planned.push_back("----------" + step.className + "----------");
    }
    EXPECT_EQ(headers, planned);
    EXPECT_TRUE(window.messages.empty());
    const auto log = Lines(Find(".LOG").at(0));
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(),
                      [](const std::string& l) { return l.find(" E n d-") != std::string::npos; }),
        7);  // six classes and the window
}

}  // namespace
}  // namespace qrx::test
