#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/frmMain.h"
#include "cipher/clsCipher.h"
#include "platform/linux/IconvCodec.h"
#include "platform/linux/OpenSslCrypto.h"
#include "platform/linux/TerminalWindowing.h"
#include "tests/support/Fakes.h"

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

std::vector<std::string> Drive(const std::string& input, std::string* output = nullptr,
                               bool disableRun = false) {
    std::istringstream in(input);
    std::ostringstream out;
    TerminalWindowing window(in, out);
    Recorder r;
    r.window = &window;
    r.disableOnLoad = disableRun;
    window.ShowMainWindow(frmMain::Layout(), r);
    window.Run();
    if (output != nullptr) {
        *output = out.str();
    }
    return r.events;
}

TEST(Terminal, MenuShowsTheVisibleButtonsInScreenOrder) {
    std::string out;
    EXPECT_EQ(Drive("7\nabc\n1\nq\n", &out),
              (std::vector<std::string>{"loaded", "cmdRun", "close"}));
    EXPECT_NE(out.find("QuorexPC情報収集ツール\n  1) 処理開始\n  2) 終　了\n"), std::string::npos);
    EXPECT_EQ(out.find("NIC"), std::string::npos);
}

TEST(Terminal, EndOfInputClosesAndTheEndButtonEndsWithoutClosing) {
    EXPECT_EQ(Drive(""), (std::vector<std::string>{"loaded", "close"}));
    EXPECT_EQ(Drive("2\n1\n"), (std::vector<std::string>{"loaded", "cmdEnd"}));
}

TEST(Terminal, ADisabledButtonCannotBeChosen) {
    std::string out;
    EXPECT_EQ(Drive("1\n", &out, true), (std::vector<std::string>{"loaded", "close"}));
    EXPECT_NE(out.find("処理開始 (使用できません)"), std::string::npos);
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
        std::istringstream in(c.input);
        std::ostringstream out;
        TerminalWindowing window(in, out);
        EXPECT_EQ(window.ShowMessage("a\r\nb", c.style), c.result) << c.input;
        EXPECT_NE(out.str().find("[QRX_PC_INFO]"), std::string::npos);
        EXPECT_NE(out.str().find("a\nb\n"), std::string::npos);
    }
}

// The built program, copied into a folder of its own and fed through a pipe without a display.
struct Process : ::testing::Test {
    fs::path dir;
    void SetUp() override {
        char pattern[] = "/tmp/qrx-run-XXXXXX";
        dir = mkdtemp(pattern);
        fs::copy_file(QRX_PROGRAM, dir / "QRX_PC_INFO");
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Run(const std::string& input, const std::string& args) {
        const std::string command = "cd " + dir.string() + " && printf '" + input +
                                    "' | env -u DISPLAY -u WAYLAND_DISPLAY ./QRX_PC_INFO " + args;
        std::string out;
        FILE* p = popen(command.c_str(), "r");
        char buf[4096];
        std::size_t n = 0;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) {
            out.append(buf, n);
        }
        EXPECT_EQ(pclose(p), 0);
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
    std::vector<fs::path> Find(const std::string& suffix) {
        std::vector<fs::path> found;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            if (e.path().string().ends_with(suffix)) {
                found.push_back(e.path());
            }
        }
        return found;
    }
};

TEST_F(Process, DebugOpenAndCloseLeaveThreeTraceLinesEndLeavesTwoPlainLeavesNone) {
    Run("", "DEBUG");
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
    Run("", "debug");
    EXPECT_FALSE(fs::exists(dir / "INFO_LOG"));
}

TEST_F(Process, ARunWritesADataFileWhoseLinesDecryptToThePlan) {
    const std::string out = Run("1\\n\\n\\n", "DEBUG");
    const auto data = Find(".dat");
    ASSERT_EQ(data.size(), 1u);
    EXPECT_NE(out.find("[" + data[0].string() + "]"), std::string::npos) << out;
    OpenSslCrypto crypto;
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
    EXPECT_EQ(
        headers,
        (std::vector<std::string>{
            "----------Win32_NetworkAdapterConfiguration----------",
            "----------Win32_NetworkAdapter----------", "----------Win32_Processor----------",
            "----------Win32_OperatingSystem----------", "----------Win32_BaseBoard----------",
            "----------Win32_ComputerSystemProduct----------"}));
    EXPECT_TRUE(window.messages.empty());
    const auto log = Lines(Find(".LOG").at(0));
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(),
                      [](const std::string& l) { return l.find(" E n d-") != std::string::npos; }),
        7);  // six classes and the window
}

}  // namespace
}  // namespace qrx::test
