// The built program at the edges of its environment, as a process in a folder of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cipher/clsCipher.h"
#include "platform/linux/IconvCodec.h"
#include "platform/linux/MbedTlsCrypto.h"
#include "tests/support/Fakes.h"
#include "tests/support/Processes.h"
#include "tests/support/TempFolder.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

struct Edge : ::testing::Test {
    TempFolder folder;
    fs::path dir = folder.dir;
    std::string output;

    void SetUp() override { fs::copy_file(QRX_PROGRAM, dir / "QRX_PC_INFO"); }

    // Runs `command` in the folder through the shell, without a display unless the command
    // sets one, and returns its exit status; standard output and error land in `output`.
    int Run(const std::string& command) {
        return RunShell("cd " + dir.string() + " && env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 " +
                            command + " 2>&1",
                        output);
    }
    std::vector<fs::path> NextDataFiles() const { return test::NextDataFiles(dir); }
    std::vector<fs::path> Find(const std::string& suffix) const { return FindFiles(dir, suffix); }
    static std::string Read(const fs::path& file) { return TempFolder::Read(file); }

    // Starts the program in debug mode on the display `display` ("" for none), fed through a
    // pipe whose writing end lands in `input`; its output and error go to `out`, or nowhere.
    pid_t Spawn(int& input, const std::string& display, int out = -1) {
        int fds[2];
        EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        const int to = out < 0 ? null : out;
        const pid_t pid = test::Spawn({(dir / "QRX_PC_INFO").string(), "DEBUG"},
                                      {"DISPLAY=" + display, "PATH=/usr/bin:/bin"}, fds[0], to, to);
        close(fds[0]);
        close(null);
        input = fds[1];
        return pid;
    }

    // The day's trace log once the window has written its two opening lines.
    std::vector<fs::path> LogOnceLoaded() const {
        std::vector<fs::path> logs;
        for (int i = 0;
             i < 2400 && (logs.empty() || Read(logs[0]).find("Start") == std::string::npos); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            logs = Find(".LOG");
        }
        return logs;
    }
};

// EUC-JP output as UTF-8; what does not convert becomes "?".
std::string FromEucJp(const std::string& bytes) {
    const iconv_t cd = iconv_open("UTF-8", "EUC-JP");
    std::string out;
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char buffer[4096];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const bool failed = iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (failed && errno != E2BIG) {
            out += '?';
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

constexpr const char* kCompleted = "処理を終了しました。";
constexpr const char* kNotWritten = "収集した情報をファイルに書き込めませんでした。";

TEST_F(Edge, ALinkAtTheDataFilesNameIsNotFollowed) {
    const fs::path target = dir / "elsewhere";
    { std::ofstream(target) << "keep\n"; }
    for (const auto& name : NextDataFiles()) {
        fs::create_symlink(target, name);
    }
    EXPECT_EQ(Run("sh -c \"printf '1\\n\\n\\n' | ./QRX_PC_INFO\""), 1);
    EXPECT_EQ(Read(target), "keep\n");
    EXPECT_EQ(output.find(kCompleted), std::string::npos);
    EXPECT_NE(output.find(kNotWritten), std::string::npos);
}

TEST_F(Edge, AFifoAtTheDataFilesOrTheLogsNameIsNotWaitedFor) {
    for (const auto& name : NextDataFiles()) {
        ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
    }
    const fs::path month = dir / "INFO_LOG" / LocalTimeText("%Y%m");
    fs::create_directories(month);
    ASSERT_EQ(mkfifo((month / LocalTimeText("PC_INFO_%y%m%d.LOG")).c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run("sh -c \"printf '1\\n\\n\\n' | ./QRX_PC_INFO DEBUG\""), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_NE(output.find(kNotWritten), std::string::npos);
}

TEST_F(Edge, AFileSizeLimitEndsInAnErrorWithWholeLinesOnly) {
    EXPECT_EQ(Run("sh -c \"printf '1\\n\\n\\n' | prlimit --fsize=300 ./QRX_PC_INFO\""), 1);
    EXPECT_NE(output.find(kNotWritten), std::string::npos);
    const auto data = Find(".dat");
    ASSERT_EQ(data.size(), 1u);
    const std::string text = Read(data[0]);
    ASSERT_FALSE(text.empty());
    EXPECT_LE(text.size(), 300u);
    EXPECT_TRUE(text.ends_with("\r\n"));
    MbedTlsCrypto crypto;
    IconvCodec codec;
    FakeWindow window;
    clsCipher cipher(crypto, codec, window);
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    line.pop_back();
    EXPECT_EQ(cipher.gfEncryptDecrypt(line, 1),
              "----------Win32_NetworkAdapterConfiguration----------");
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(Edge, AnUnreachableDisplayFallsBackToTheTerminal) {
    EXPECT_EQ(Run("sh -c \"printf '1\\n\\n\\n' | DISPLAY=:1997 WAYLAND_DISPLAY=gone "
                  "XDG_RUNTIME_DIR=/nonexistent ./QRX_PC_INFO\""),
              0);
    EXPECT_NE(output.find(kCompleted), std::string::npos) << output;
    EXPECT_EQ(Find(".dat").size(), 1u);
}

// A display that accepts the connection and never answers: a Wayland socket that listens and
// never speaks, an X server (a TCP port) that does the same. The start goes on in the terminal.
TEST_F(Edge, ADisplayThatNeverAnswersFallsBackToTheTerminal) {
    fs::copy_file(QRX_QT_MODULE, dir / "QRX_PC_INFO_qt.so");
    const int wayland = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un unixAddress{};
    unixAddress.sun_family = AF_UNIX;
    const std::string socketPath = (dir / "wayland-0").string();
    ASSERT_LT(socketPath.size(), sizeof unixAddress.sun_path);
    std::strcpy(unixAddress.sun_path, socketPath.c_str());
    ASSERT_EQ(bind(wayland, reinterpret_cast<sockaddr*>(&unixAddress), sizeof unixAddress), 0);
    ASSERT_EQ(listen(wayland, 8), 0);
    const int x11 = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int display = 50;
    for (; display < 200; ++display) {
        sockaddr_in tcp{};
        tcp.sin_family = AF_INET;
        tcp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        tcp.sin_port = htons(static_cast<std::uint16_t>(6000 + display));
        if (bind(x11, reinterpret_cast<sockaddr*>(&tcp), sizeof tcp) == 0) {
            break;
        }
    }
    ASSERT_EQ(listen(x11, 8), 0);
    for (const std::string& variable :
         {"WAYLAND_DISPLAY=" + socketPath, "DISPLAY=127.0.0.1:" + std::to_string(display)}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Run("sh -c \"printf '1\\n\\n\\n' | " + variable + " ./QRX_PC_INFO\""), 0)
            << variable << "\n"
            << output;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << variable;
        EXPECT_NE(output.find("does not answer within"), std::string::npos) << output;
        EXPECT_NE(output.find(kCompleted), std::string::npos) << output;
    }
    close(wayland);
    close(x11);
}

// A terminal in EUC-JP and the program in a folder named in that code set: the path in the
// completion and in the lost-records message reaches the terminal as the user named it.
TEST_F(Edge, AFolderNamedInTheLocalesCodeSetIsShownAsNamed) {
    const fs::path locales = dir / "locales";
    fs::create_directory(locales);
    if (std::system(("localedef -i ja_JP -f EUC-JP " + (locales / "ja_JP.eucJP").string() +
                     " >/dev/null 2>&1")
                        .c_str()) != 0) {
        GTEST_SKIP() << "localedef cannot make ja_JP.eucJP";
    }
    const std::string name = "\xC6\xFC\xCB\xDC";  // 日本 in EUC-JP
    fs::create_directory(dir / name);
    fs::copy_file(dir / "QRX_PC_INFO", dir / name / "QRX_PC_INFO");
    const std::string run = "sh -c \"cd " + name +
                            " && printf '1\\n\\n\\n' | LOCPATH=" + locales.string() +
                            " LANG=ja_JP.eucJP ./QRX_PC_INFO\"";
    const std::string shown = "[" + dir.string() + "/日本/PC_INFO_";
    EXPECT_EQ(Run(run), 0) << output;
    std::string text = FromEucJp(output);
    EXPECT_NE(text.find(kCompleted), std::string::npos) << text;
    EXPECT_NE(text.find(shown), std::string::npos) << text;
    const auto data = Find(".dat");
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0].parent_path(), dir / name);

    fs::remove(data[0]);
    for (const auto& file : NextDataFiles()) {
        ASSERT_EQ(mkfifo((dir / name / file.filename()).c_str(), 0600), 0);
    }
    EXPECT_EQ(Run(run), 1) << output;
    text = FromEucJp(output);
    EXPECT_NE(text.find(kNotWritten), std::string::npos) << text;
    EXPECT_NE(text.find(shown), std::string::npos) << text;
}

TEST_F(Edge, StartedThroughTheDynamicLoaderTheFilesStayBesideTheProgram) {
    const fs::path loader = "/lib64/ld-linux-x86-64.so.2";
    if (!fs::exists(loader)) {
        GTEST_SKIP() << "no " << loader;
    }
    EXPECT_EQ(Run("sh -c \"printf '1\\n\\n\\n' | " + loader.string() + " ./QRX_PC_INFO\""), 0);
    EXPECT_EQ(Find(".dat").size(), 1u);
}

// Standard descriptors closed at start: a closed input is the end of input (the window closes
// with its trace line; with no terminal either, nothing was collected: status 1 and the reason),
// a closed output swallows the text and the run still writes its file.
TEST_F(Edge, ClosedStandardDescriptorsAreTheEndOfInputOrASilentOutput) {
    const struct {
        const char* command;
        bool dataFile;
        int status = 0;
    } cases[] = {
        {"./QRX_PC_INFO DEBUG <&-", false, 1},
        {"./QRX_PC_INFO DEBUG </dev/null", false, 1},
        {"sh -c \"printf '1\\n\\n\\n' | ./QRX_PC_INFO DEBUG >&-\"", true},
        {"sh -c \"printf '1\\n\\n\\n' | ./QRX_PC_INFO DEBUG 2>&-\"", true},
        {"sh -c \"./QRX_PC_INFO DEBUG <&- >&- 2>&-\"", false, 1},
    };
    for (const auto& c : cases) {
        fs::remove_all(dir / "INFO_LOG");
        for (const auto& f : Find(".dat")) {
            fs::remove(f);
        }
        EXPECT_EQ(Run(c.command), c.status) << c.command << "\n" << output;
        EXPECT_EQ(output.find("no window and no terminal") != std::string::npos,
                  c.status == 1 && !std::string(c.command).ends_with("2>&-\""))
            << output;
        const auto logs = Find(".LOG");
        ASSERT_EQ(logs.size(), 1u) << c.command;
        EXPECT_TRUE(Read(logs[0]).ends_with("Program E n d----------\r\n")) << c.command;
        EXPECT_EQ(Find(".dat").size(), c.dataFile ? 1u : 0u) << c.command;
    }
}

TEST_F(Edge, EndlessInputWithoutALineEndKeepsMemorySmall) {
    EXPECT_EQ(Run("sh -c 'head -c 100000000 /dev/zero | ./QRX_PC_INFO >/dev/null'"), 0);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 80 * 1024) << "KiB";  // the input alone is 95 MiB
}

// SIGTERM, SIGHUP and SIGINT while the program waits for the user, on the terminal and (with a
// display) in the window: the closing trace line is written and the program ends.
TEST_F(Edge, CloseSignalsCloseTheWindowWithItsTraceLine) {
    fs::copy_file(QRX_QT_MODULE, dir / "QRX_PC_INFO_qt.so");
    const char* display = std::getenv("DISPLAY");
    std::vector<std::string> displays = {""};
    if (display != nullptr && *display != '\0') {
        displays.push_back(display);
    }
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        for (const auto& d : displays) {
            const std::string what = std::string(strsignal(signal)) + " display=" + d;
            fs::remove_all(dir / "INFO_LOG");
            int input = -1;
            const pid_t pid = Spawn(input, d);
            const auto logs = LogOnceLoaded();
            ASSERT_EQ(logs.size(), 1u) << what;
            kill(pid, signal);
            int status = 0;
            const bool ended = EndsWithinAMinute(pid, status);
            close(input);
            ASSERT_TRUE(ended) << "still running after " << what;
            EXPECT_TRUE(WIFEXITED(status)) << what;
            EXPECT_TRUE(Read(logs[0]).ends_with("Program E n d----------\r\n")) << what;
        }
    }
}

// Run as root through sudo: everything the run made belongs to the user who ran sudo.
TEST_F(Edge, UnderSudoTheFilesBelongToTheInvokingUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    EXPECT_EQ(Run("sh -c \"printf '1\\n\\n\\n' | SUDO_UID=12345 SUDO_GID=23456 ./QRX_PC_INFO "
                  "DEBUG\""),
              0)
        << output;
    const auto data = Find(".dat");
    const auto logs = Find(".LOG");
    ASSERT_EQ(data.size(), 1u);
    ASSERT_EQ(logs.size(), 1u);
    for (const auto& path : {data[0], logs[0], logs[0].parent_path(), dir / "INFO_LOG"}) {
        struct stat st {};
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 12345u) << path;
        EXPECT_EQ(st.st_gid, 23456u) << path;
    }
}

// Another instance that started in the same second holds the data file: the run waits for it
// instead of interleaving its lines with the other's, then writes all of its own; when the other
// holds it beyond the wait (30 s), the run writes nothing and says why.
TEST_F(Edge, ARunWaitsForTheInstanceThatHoldsItsDataFile) {
    for (const bool released : {true, false}) {
        std::vector<int> held;
        const auto names = NextDataFiles();
        for (const auto& name : names) {
            const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            ASSERT_EQ(write(fd, "theirs\r\n", 8), 8);
            ASSERT_EQ(flock(fd, LOCK_EX), 0);
            held.push_back(fd);
        }
        int input = -1, out[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        const pid_t pid = Spawn(input, "", out[1]);
        close(out[1]);
        ASSERT_EQ(write(input, "1\n\n\n", 4), 4);
        close(input);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        for (const auto& name : names) {
            EXPECT_EQ(Read(name), "theirs\r\n") << name << " written meanwhile";
        }
        for (const int fd : released ? held : std::vector<int>{}) {
            close(fd);
        }
        std::string said;
        char buf[4096];
        for (ssize_t n = 0; (n = read(out[0], buf, sizeof buf)) > 0;) {
            said.append(buf, static_cast<std::size_t>(n));
        }
        close(out[0]);
        int status = 0;
        ASSERT_TRUE(EndsWithinAMinute(pid, status));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (released ? 0 : 1));
        EXPECT_EQ(said.find("ほかの実行がこのファイルに書き込んでいる") == std::string::npos,
                  released);
        std::size_t written = 0;
        for (const auto& file : Find(".dat")) {
            written += Read(file) != "theirs\r\n" ? 1 : 0;
            fs::remove(file);
        }
        EXPECT_EQ(written, released ? 1u : 0u);
        for (const int fd : released ? std::vector<int>{} : held) {
            close(fd);
        }
    }
}

// Without /proc (a container, a chroot) the files still go beside the program, found from the
// path it was started by, also through the dynamic loader with another argv[0].
TEST_F(Edge, WithoutProcTheFilesGoBesideTheProgram) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, for a mount namespace of its own";
    }
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "a sanitizer build reads its options and runs its leak check through /proc";
#endif
    TempFolder start;
    const std::string loader = "/lib64/ld-linux-x86-64.so.2 ";
    const std::string program = (dir / "QRX_PC_INFO").string();
    for (const auto& command : {program, loader + program, loader + "--argv0 QRX " + program}) {
        EXPECT_EQ(Run("unshare -m sh -c \"umount -l /proc && cd " + start.dir.string() +
                      " && printf '1\\n\\n\\n' | " + command + " DEBUG\""),
                  0)
            << output;
        const auto data = Find(".dat");
        ASSERT_EQ(data.size(), 1u) << command;
        EXPECT_TRUE(FindFiles(start.dir, "").empty());
        EXPECT_NE(output.find("[" + data[0].string() + "]"), std::string::npos) << output;
        EXPECT_NE(Read(Find(".LOG").at(0)).find(" QRX_PC_INFO["), std::string::npos);
        fs::remove(data[0]);
    }
}

// The program's folder, or the log's month folder, swapped for a link while the menu waits: the
// files still go to the folders the program started with, never through the link; a log line
// that cannot go is said once.
TEST_F(Edge, AFolderSwappedForALinkLeadsNowhereElse) {
    TempFolder outside;
    const fs::path moved = outside.dir / "moved", elsewhere = outside.dir / "elsewhere";
    fs::create_directory(elsewhere);
    for (const fs::path& swapped : {dir, dir / "INFO_LOG" / LocalTimeText("%Y%m")}) {
        fs::remove_all(dir / "INFO_LOG");
        for (const auto& file : Find(".dat")) {
            fs::remove(file);
        }
        const int err = open((outside.dir / "err").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        int input = -1;
        const pid_t pid = Spawn(input, "", err);
        ASSERT_EQ(LogOnceLoaded().size(), 1u);
        fs::rename(swapped, moved);
        fs::create_directory_symlink(elsewhere, swapped);
        ASSERT_EQ(write(input, "1\n\n\n", 4), 4);
        close(input);
        int status = 0;
        ASSERT_TRUE(EndsWithinAMinute(pid, status));
        close(err);
        EXPECT_TRUE(fs::is_empty(elsewhere));
        EXPECT_EQ(FindFiles(swapped == dir ? moved : dir, ".dat").size(), 1u);
        const std::string said = Read(outside.dir / "err"), lost = "trace log cannot be written";
        EXPECT_EQ(said.find(lost) == said.rfind(lost), true) << said;
        EXPECT_EQ(said.find(lost) == std::string::npos, swapped == dir) << said;
        fs::remove(swapped);
        fs::rename(moved, swapped);
    }
}

// The terminal goes away (its pipe has no reader) while the input stays open: the failed write
// is a close request, not the end of the process by SIGPIPE nor a wait for input.
TEST_F(Edge, AnOutputWithoutAReaderClosesTheWindow) {
    int input = -1, sink[2];
    ASSERT_EQ(pipe2(sink, O_CLOEXEC), 0);
    close(sink[0]);
    const pid_t pid = Spawn(input, "", sink[1]);
    close(sink[1]);
    int status = 0;
    const bool ended = EndsWithinAMinute(pid, status);
    close(input);
    ASSERT_TRUE(ended) << "still waiting for input";
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const auto logs = Find(".LOG");
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_TRUE(Read(logs[0]).ends_with("Program E n d----------\r\n"));
}

}  // namespace
}  // namespace qrx::test
