// The built program in a folder that every user can write to (mode 1777, like /tmp or a shared
// folder), run as root and as `nobody`: what another user put there beforehand neither runs as
// the program's user nor receives its data.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/Processes.h"
#include "tests/support/TempFolder.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

// Each user's primary group has the same number.
constexpr uid_t kRoot = 0, kDaemon = 1, kNobody = 65534;
constexpr const char* kPrompt = "(q: 閉じる)> ";
constexpr const char* kCompleted = "処理を終了しました。";
constexpr const char* kNotWritten = "収集した情報をファイルに書き込めませんでした。";

struct SharedFolder : ::testing::Test {
    TempFolder folder;
    fs::path dir = folder.dir / "shared";
    std::string output;

    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root, to act as two users";
        }
        fs::create_directory(dir);
        fs::permissions(folder.dir, fs::perms(0755));
        Own(dir, kRoot, 01777);
        fs::copy_file(QRX_PROGRAM, dir / "QRX_PC_INFO");
    }

    static void Own(const fs::path& path, uid_t owner, mode_t mode) {
        ASSERT_EQ(chown(path.c_str(), owner, owner), 0) << path;
        ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
    }

    // Runs `command` with sh in the shared folder as `user`, without a display unless the
    // command sets one, and returns its exit status; standard output and error land in `output`.
    int RunAs(uid_t user, const std::string& command) {
        const std::string id = std::to_string(user);
        const std::string as =
            user == kRoot ? "" : "setpriv --reuid=" + id + " --regid=" + id + " --clear-groups ";
        const std::string line = "cd " + dir.string() +
                                 " && env -u DISPLAY -u WAYLAND_DISPLAY -u SUDO_UID -u SUDO_GID " +
                                 as + "timeout 20 sh -c \"" + command + "\" 2>&1";
        return RunShell(line, output);
    }

    static std::string Display() {
        const char* display = std::getenv("DISPLAY");
        return display != nullptr ? display : "";
    }

    // The names a run started now uses: the data files of the next few seconds, the log's
    // month folder and the day's log.
    std::vector<fs::path> NextDataFiles() const { return test::NextDataFiles(dir); }
    fs::path MonthFolder() const { return dir / "INFO_LOG" / LocalTimeText("%Y%m"); }
    fs::path DayLog() const { return MonthFolder() / LocalTimeText("PC_INFO_%y%m%d.LOG"); }

    // Folders and empty files of `owner` at every name a run will use.
    void Prepare(uid_t owner, mode_t fileMode, mode_t folderMode) {
        fs::create_directories(MonthFolder());
        Own(dir / "INFO_LOG", owner, folderMode);
        Own(MonthFolder(), owner, folderMode);
        for (const auto& file : NextDataFiles()) {
            folder.Write(file.lexically_relative(folder.dir).string(), "");
            Own(file, owner, fileMode);
        }
        folder.Write(DayLog().lexically_relative(folder.dir).string(), "");
        Own(DayLog(), owner, fileMode);
    }
};

// A module of another user, or one that others can replace, is refused with the reason and the
// terminal is used; its code never runs (the marker it would leave stays absent). A user's own
// module in the sticky folder is loaded, and refused only for its other build.
TEST_F(SharedFolder, OnlyTheUsersOwnModuleIsLoaded) {
    if (Display().empty()) {
        GTEST_SKIP() << "needs a display (./test.sh starts one)";
    }
    const struct {
        uid_t runner, owner;
        mode_t mode, folderMode;
        bool loaded;
        const char* reason;
        const char* environment = "";
        uid_t folder = kRoot;  // the folder's owner and group
    } cases[] = {
        {kRoot, kNobody, 0755, 01777, false, "it belongs to another user"},
        // Code that runs as root comes from root only, also when the owner called sudo.
        {kRoot, kNobody, 0755, 01777, false, "it belongs to another user",
         "SUDO_UID=65534 SUDO_GID=65534 "},
        {kNobody, kDaemon, 0755, 01777, false, "it belongs to another user"},
        {kNobody, kRoot, 0666, 01777, false, "other users can write to it"},
        {kRoot, kRoot, 0755, 0777, false, "other users can write to its folder"},
        {kNobody, kNobody, 0755, 01777, true, "a module of another build"},
        {kNobody, kNobody, 0755, 01777, false, "other users can write to its folder", "", kDaemon},
        // A group of the user's alone is the user; nogroup holds other users too.
        {kDaemon, kDaemon, 0755, 0775, true, "a module of another build", "", kDaemon},
        {kNobody, kNobody, 0755, 0775, false, "other users can write to its folder", "", kNobody},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.runner) + " runs a module of " + std::to_string(c.owner));
        const fs::path module = dir / "QRX_PC_INFO_qt.so";
        fs::remove(module);
        fs::remove(dir / "marker");
        fs::copy_file(QRX_PLANTED_MODULE, module);
        Own(module, c.owner, c.mode);
        Own(dir, c.folder, c.folderMode);
        EXPECT_EQ(RunAs(c.runner, "printf 'q\\n' | DISPLAY=" + Display() +
                                      " QRX_TEST_MARKER=marker " + c.environment + "./QRX_PC_INFO"),
                  0);
        EXPECT_EQ(fs::exists(dir / "marker"), c.loaded);
        EXPECT_NE(output.find(std::string("QRX_PC_INFO_qt.so: not ") +
                              (c.loaded ? "used, " : "loaded, ") + c.reason),
                  std::string::npos)
            << output;
        EXPECT_NE(output.find(kPrompt), std::string::npos) << output;
    }
}

// What cannot be a module at all is refused: nothing waits on a FIFO (the run ends long before
// its timeout), and no page of a file cut short is touched (no crash).
TEST_F(SharedFolder, AFifoOrACutModuleFallsBackToTheTerminal) {
    if (Display().empty()) {
        GTEST_SKIP() << "needs a display (./test.sh starts one)";
    }
    const auto size = static_cast<std::intmax_t>(fs::file_size(QRX_QT_MODULE));
    const struct {
        std::intmax_t keep;  // bytes of the real module; -1 for a FIFO
        const char* reason;
    } cases[] = {
        {-1, "not a regular file"},
        {40, "invalid ELF header"},
        {size / 2, "cut short"},
        {size - 1, "cut short"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keep);
        const fs::path module = dir / "QRX_PC_INFO_qt.so";
        fs::remove(module);
        if (c.keep < 0) {
            ASSERT_EQ(mkfifo(module.c_str(), 0600), 0);
        } else {
            fs::copy_file(QRX_QT_MODULE, module);
            fs::resize_file(module, static_cast<std::uintmax_t>(c.keep));
        }
        EXPECT_EQ(RunAs(kRoot, "printf 'q\\n' | DISPLAY=" + Display() + " ./QRX_PC_INFO"), 0);
        EXPECT_NE(output.find(c.reason), std::string::npos) << output;
        EXPECT_NE(output.find(kPrompt), std::string::npos) << output;
    }
}

// Another user prepared the data files of the next seconds and the log's folders and file, open
// to everyone: nothing reaches them, and the run ends with the error message.
TEST_F(SharedFolder, FilesPreparedByAnotherUserReceiveNothing) {
    for (const auto& [runner, planter] : {std::pair{kRoot, kNobody}, std::pair{kNobody, kDaemon}}) {
        SCOPED_TRACE(std::to_string(runner) + " runs where " + std::to_string(planter) +
                     " planted");
        fs::remove_all(dir / "INFO_LOG");
        Prepare(planter, 0666, 0777);
        EXPECT_EQ(RunAs(runner, "printf '1\\n\\n\\n' | ./QRX_PC_INFO DEBUG"), 1);
        EXPECT_NE(output.find(kNotWritten), std::string::npos) << output;
        EXPECT_EQ(output.find(kCompleted), std::string::npos) << output;
        for (const auto& file : FindFiles(dir, ".dat")) {
            EXPECT_EQ(fs::file_size(file), 0u) << file;
        }
        EXPECT_EQ(fs::file_size(DayLog()), 0u);
        EXPECT_EQ(std::distance(fs::directory_iterator(MonthFolder()), {}), 1);
        // Every data file goes, also one of a second that has passed meanwhile.
        for (const auto& file : FindFiles(dir, ".dat")) {
            fs::remove(file);
        }
    }
}

// The user's own files of an earlier run in the same second are still appended to, also those
// of the user who called sudo; what the run creates is the user's alone.
TEST_F(SharedFolder, TheUsersOwnFilesAreAppendedToAndNewOnesArePrivate) {
    const struct {
        uid_t runner, owner;
        const char* sudo;  // SUDO_UID and SUDO_GID of the run, or null
        bool prepared;
    } cases[] = {
        {kNobody, kNobody, nullptr, true},
        {kRoot, kNobody, "65534", true},
        {kRoot, kRoot, nullptr, true},
        {kNobody, kNobody, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.runner) + " with files of " + std::to_string(c.owner));
        fs::remove_all(dir / "INFO_LOG");
        if (c.prepared) {
            Prepare(c.owner, 0600, 0700);
        }
        const std::string sudo =
            c.sudo != nullptr ? std::string("SUDO_UID=") + c.sudo + " SUDO_GID=" + c.sudo + " "
                              : "";
        EXPECT_EQ(RunAs(c.runner, "printf '1\\n\\n\\n' | " + sudo + "./QRX_PC_INFO DEBUG"), 0);
        EXPECT_NE(output.find(kCompleted), std::string::npos) << output;
        std::vector<fs::path> written;
        for (const auto& e : fs::directory_iterator(dir)) {
            if (e.path().extension() == ".dat" && fs::file_size(e.path()) > 0) {
                written.push_back(e.path());
            }
        }
        ASSERT_EQ(written.size(), 1u);
        EXPECT_GT(fs::file_size(DayLog()), 0u);
        for (const auto& path : {written[0], DayLog(), MonthFolder(), dir / "INFO_LOG"}) {
            const auto perms = fs::status(path).permissions();
            EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none)
                << path;
        }
        // Every data file goes, also one of a second that has passed meanwhile.
        for (const auto& file : FindFiles(dir, ".dat")) {
            fs::remove(file);
        }
    }
}

// Qt's plugins and a qt.conf put beside the program by another user: the window starts with the
// real module and nothing of theirs runs. A plugin folder the user names is the user's choice.
TEST_F(SharedFolder, QtReadsNoPluginOrQtConfBesideTheProgram) {
    if (Display().empty()) {
        GTEST_SKIP() << "needs a display (./test.sh starts one)";
    }
    fs::copy_file(QRX_QT_MODULE, dir / "QRX_PC_INFO_qt.so");
    const struct {
        const char *folder, *qtConf, *environment;
        bool loaded;
    } cases[] = {{"styles", "", "", false},
                 {"theirs/styles", "[Paths]\nPrefix=.\nPlugins=theirs\n", "", false},
                 {"mine/styles", "", "QT_PLUGIN_PATH=mine ", true}};
    for (const auto& c : cases) {
        for (const char* planted : {"styles", "theirs", "mine", "qt.conf", "marker", "INFO_LOG"}) {
            fs::remove_all(dir / planted);
        }
        fs::create_directories(dir / c.folder);
        fs::copy_file(QRX_PLANTED_QT_PLUGIN, dir / c.folder / "libplanted.so");
        if (*c.qtConf != '\0') {
            folder.Write("shared/qt.conf", c.qtConf);
        }
        // Killed at its first trace line, the window leaves what Qt's D-Bus connection holds to
        // a sanitizer build's leak check: only the marker is asked about here.
        EXPECT_EQ(RunAs(kRoot, "DISPLAY=" + Display() + " ASAN_OPTIONS=detect_leaks=0" +
                                   " QT_STYLE_OVERRIDE=planted " + "QRX_TEST_MARKER=marker " +
                                   c.environment +
                                   "./QRX_PC_INFO DEBUG </dev/null & p=\\$!; until grep -qs Start "
                                   "INFO_LOG/*/*.LOG; do sleep 0.1; done; kill \\$p; wait \\$p"),
                  0)
            << output;
        EXPECT_EQ(fs::exists(dir / "marker"), c.loaded) << c.folder;
        EXPECT_EQ(output.find("no window"), std::string::npos) << output;
    }
}

// On NTFS through ntfs-3g every file shows as rwxrwxrwx: the files a run creates are its own, a
// file that was there before is still refused.
TEST_F(SharedFolder, OnNtfsTheFilesARunCreatesAreItsOwn) {
    const std::string image = (folder.dir / "ntfs.img").string(), usb = (dir / "usb").string();
    fs::create_directory(usb);
    if (std::system(("truncate -s 64M " + image + " && mkntfs -q -F -f " + image +
                     " >/dev/null 2>&1 && ntfs-3g -o allow_other " + image + " " + usb)
                        .c_str()) != 0) {
        GTEST_SKIP() << "needs ntfs-3g (Debian's ntfs-3g) and FUSE (/dev/fuse)";
    }
    struct Unmount {
        std::string at;
        ~Unmount() { EXPECT_EQ(std::system(("umount " + at).c_str()), 0); }
    } unmount{usb};
    ASSERT_EQ(std::system(("cp " + std::string(QRX_PROGRAM) + " " + usb).c_str()), 0);
    for (const auto& [runner, before] :
         {std::pair{kRoot, false}, {kNobody, false}, {kNobody, true}}) {
        fs::remove_all(dir / "usb" / "INFO_LOG");
        for (const auto& file : FindFiles(usb, ".dat")) {
            fs::remove(file);
        }
        for (const auto& file : before ? test::NextDataFiles(usb) : std::vector<fs::path>{}) {
            std::ofstream{file};
        }
        EXPECT_EQ(RunAs(runner, "cd usb && printf '1\\\\n\\\\n\\\\n' | ./QRX_PC_INFO DEBUG"),
                  before ? 1 : 0);
        EXPECT_NE(output.find(before ? kNotWritten : kCompleted), std::string::npos) << output;
        EXPECT_GT(fs::file_size(FindFiles(usb, ".LOG").at(0)), 0u);
    }
}

}  // namespace
}  // namespace qrx::test
