#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/Processes.h"
#include "tests/support/TempFolder.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

// The built program alone in a folder of its own, started with pipes for its three streams.
struct Started {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;

    Started(const fs::path& program, const std::vector<std::string>& environment) {
        int pipes[3][2];
        for (auto& p : pipes) {
            EXPECT_EQ(pipe2(p, O_CLOEXEC), 0);
        }
        pid = Spawn({program.string()}, environment, pipes[0][0], pipes[1][1], pipes[2][1]);
        close(pipes[0][0]);
        close(pipes[1][1]);
        close(pipes[2][1]);
        in = pipes[0][1];
        out = pipes[1][0];
        err = pipes[2][0];
    }

    // Reads standard output until `text` has come (or the output ends).
    std::string ReadUntil(const std::string& text) {
        std::string got;
        char buf[512];
        ssize_t n = 0;
        while (got.find(text) == std::string::npos && (n = read(out, buf, sizeof buf)) > 0) {
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Closes the input (the close request) and returns everything written to stderr.
    std::string Finish() {
        close(in);
        std::string text;
        char buf[512];
        ssize_t n = 0;
        while ((n = read(err, buf, sizeof buf)) > 0) {
            text.append(buf, static_cast<std::size_t>(n));
        }
        int status = 0;
        waitpid(pid, &status, 0);
        close(out);
        close(err);
        return text;
    }
};

struct FrontEnd : ::testing::Test {
    TempFolder folder;
    fs::path dir = folder.dir;
    void SetUp() override { fs::copy_file(QRX_PROGRAM, dir / "QRX_PC_INFO"); }
};

constexpr const char* kPrompt = "(q: 閉じる)> ";

TEST_F(FrontEnd, WithoutADisplayTheProgramMapsNoQtLibrary) {
    fs::copy_file(QRX_QT_MODULE, dir / "QRX_PC_INFO_qt.so");
    Started p(dir / "QRX_PC_INFO", {"PATH=/usr/bin:/bin", "LANG=C.UTF-8"});
    ASSERT_NE(p.ReadUntil(kPrompt).find(kPrompt), std::string::npos);
    std::ifstream maps("/proc/" + std::to_string(p.pid) + "/maps");
    std::stringstream mapped;
    mapped << maps.rdbuf();
    EXPECT_NE(mapped.str().find("libstdc++"), std::string::npos);  // the maps were read
    EXPECT_EQ(mapped.str().find("libQt6"), std::string::npos);
    EXPECT_EQ(mapped.str().find("libcrypto"), std::string::npos);  // AES is linked in
    EXPECT_EQ(mapped.str().find("QRX_PC_INFO_qt.so"), std::string::npos);
    ASSERT_EQ(write(p.in, "q\n", 2), 2);
    EXPECT_EQ(p.Finish(), "");
}

// A module that is missing or not loadable leaves the terminal, and stderr says why.
TEST_F(FrontEnd, AModuleThatCannotBeLoadedFallsBackToTheTerminal) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        GTEST_SKIP() << "needs a display (./test.sh starts one)";
    }
    const struct {
        std::size_t size;  // of the module file, filled with text; 0 for none
        const char* reason;
    } cases[] = {{0, "No such file"}, {4096, "invalid ELF header"}};
    for (const auto& c : cases) {
        fs::remove(dir / "QRX_PC_INFO_qt.so");
        if (c.size > 0) {
            std::ofstream(dir / "QRX_PC_INFO_qt.so") << std::string(c.size, 'x');
        }
        Started p(dir / "QRX_PC_INFO", {"PATH=/usr/bin:/bin", std::string("DISPLAY=") + display});
        EXPECT_NE(p.ReadUntil(kPrompt).find(kPrompt), std::string::npos) << c.reason;
        const std::string err = p.Finish();
        EXPECT_NE(err.find("QRX_PC_INFO_qt.so"), std::string::npos) << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
    }
}

}  // namespace
}  // namespace qrx::test
