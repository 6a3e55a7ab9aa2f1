#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "platform/linux/LinuxSystem.h"
#include "tests/support/TempFolder.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

using Folder = TempFolder;

// The real system calls, with one of them made to fail the way the kernel lets it fail.
struct FaultyCalls : PosixCalls {
    enum class Fault {
        None,
        Interrupt,
        Short,
        ShortThenAnotherLine,
        AnotherLineThenShort,
        NoSpace,
        TooBig,
        StatFails,
        CloseFails
    };
    Fault fault = Fault::None;
    int interrupted = 0;

    int Open(int dir, const char* path, int flags, mode_t mode) override {
        if (fault == Fault::Interrupt && (flags & O_PATH) == 0 && interrupted++ == 0) {
            errno = EINTR;
            return -1;
        }
        return PosixCalls::Open(dir, path, flags, mode);
    }
    ssize_t Write(int fd, const void* data, std::size_t size) override {
        switch (fault) {
            case Fault::Interrupt:
                if (interrupted++ == 1) {
                    errno = EINTR;
                    return -1;
                }
                break;
            case Fault::Short:  // disk full in the middle of the line
                return PosixCalls::Write(fd, data, size / 2);
            case Fault::ShortThenAnotherLine: {  // another instance appends right after
                const ssize_t n = PosixCalls::Write(fd, data, size / 2);
                AnotherProcessAppends(fd);
                return n;
            }
            case Fault::AnotherLineThenShort:  // ... or right before
                AnotherProcessAppends(fd);
                return PosixCalls::Write(fd, data, size / 2);
            case Fault::NoSpace:
                errno = ENOSPC;
                return -1;
            case Fault::TooBig:  // a file-size limit reached with the line's first bytes
                PosixCalls::Write(fd, data, 3);
                return 3;
            default:
                break;
        }
        return PosixCalls::Write(fd, data, size);
    }
    int Fstat(int fd, struct stat* st) override {
        if (fault == Fault::StatFails) {
            errno = EIO;
            return -1;
        }
        return PosixCalls::Fstat(fd, st);
    }
    static void AnotherProcessAppends(int fd) {
        const int other =
            open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY | O_APPEND);
        ASSERT_EQ(write(other, "other\r\n", 7), 7);
        close(other);
    }
    int Close(int fd) override {
        const int result = PosixCalls::Close(fd);
        if (fault == Fault::CloseFails) {
            errno = EIO;
            return -1;
        }
        return result;
    }
};

TEST(FileWriter, AFailedOrShortWriteLeavesOnlyWholeLines) {
    using Fault = FaultyCalls::Fault;
    const struct {
        Fault fault;
        bool ok;
        const char* content;
    } cases[] = {
        {Fault::None, true, "first\r\nsecond\r\n"},
        {Fault::Interrupt, true, "first\r\nsecond\r\n"},
        {Fault::Short, false, "first\r\n"},
        {Fault::ShortThenAnotherLine, false,
         "first\r\nseco"
         "other\r\n"},
        {Fault::AnotherLineThenShort, false, "first\r\nother\r\nseco"},
        {Fault::NoSpace, false, "first\r\n"},
        {Fault::TooBig, false, "first\r\n"},
        {Fault::StatFails, false, "first\r\n"},
        {Fault::CloseFails, false, "first\r\nsecond\r\n"},
    };
    for (const auto& c : cases) {
        Folder folder;
        const std::string file = (folder.dir / "PC_INFO_261206090507.dat").string();
        ASSERT_TRUE(PosixFileSystem().AppendLine(file, "first"));
        FaultyCalls calls;
        calls.fault = c.fault;
        EXPECT_EQ(PosixFileSystem(calls).AppendLine(file, "second"), c.ok)
            << static_cast<int>(c.fault);
        EXPECT_EQ(folder.Read(file), c.content) << static_cast<int>(c.fault);
    }
}

TEST(FileWriter, FilesAreTheOwnersOnlyAndNoDescriptorOutlivesALine) {
    Folder folder;
    const fs::path file = folder.dir / "PC_INFO_261206090507.dat";
    const mode_t mask = umask(0);
    PosixFileSystem files;
    const auto descriptors = [] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
            names.insert(e.path().filename().string());
        }
        return names;
    };
    const auto before = descriptors();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(files.AppendLine(file.string(), "line"));
    }
    EXPECT_EQ(descriptors(), before);
    umask(mask);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_size, 1000 * 6);
}

// Under sudo the user must be able to send what the program wrote: its files and folders go to
// SUDO_UID/SUDO_GID, the files still 0600. A file someone else owns keeps its owner.
TEST(FileWriter, UnderSudoFilesAndFoldersAreGivenToTheInvokingUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    Folder folder;
    PosixFileSystem files(PosixCalls::Real(), FileOwner{12345, 23456});
    const fs::path logs = folder.dir / "INFO_LOG";
    const fs::path data = folder.dir / "PC_INFO_261206090507.dat";
    const fs::path others = folder.dir / "PC_INFO_261206090508.dat";
    { std::ofstream(others) << ""; }
    ASSERT_EQ(chown(others.c_str(), 777, 777), 0);
    ASSERT_TRUE(files.CreateFolder(logs.string()));
    ASSERT_TRUE(files.AppendLine((logs / "PC_INFO_261206.LOG").string(), "line"));
    ASSERT_TRUE(files.AppendLine(data.string(), "line"));
    // Another user's file is not written into, not even under sudo.
    EXPECT_FALSE(files.AppendLine(others.string(), "line"));
    const struct {
        fs::path path;
        uid_t uid;
        gid_t gid;
        mode_t mode;  // 0: not checked
    } cases[] = {{logs, 12345, 23456, 0},
                 {logs / "PC_INFO_261206.LOG", 12345, 23456, 0600},
                 {data, 12345, 23456, 0600},
                 {others, 777, 777, 0}};
    for (const auto& c : cases) {
        struct stat st {};
        ASSERT_EQ(lstat(c.path.c_str(), &st), 0) << c.path;
        EXPECT_EQ(st.st_uid, c.uid) << c.path;
        EXPECT_EQ(st.st_gid, c.gid) << c.path;
        if (c.mode != 0) {
            EXPECT_EQ(st.st_mode & 07777, c.mode) << c.path;
        }
    }
}

TEST(FileWriter, TheInvokingUserIsTakenOnlyFromWholeNonRootIds) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    const struct {
        const char* uid;
        const char* gid;
        bool valid;
    } cases[] = {{"1000", "1001", true},     {"0", "0", false},      {"1000", nullptr, false},
                 {"", "1000", false},        {"10x", "1000", false}, {"-1", "1000", false},
                 {"99999999999", "1", false}};
    for (const auto& c : cases) {
        setenv("SUDO_UID", c.uid, 1);
        if (c.gid != nullptr) {
            setenv("SUDO_GID", c.gid, 1);
        } else {
            unsetenv("SUDO_GID");
        }
        const auto owner = FileOwner::InvokingUser();
        EXPECT_EQ(owner.has_value(), c.valid) << c.uid;
        if (owner) {
            EXPECT_EQ(owner->uid, 1000u);
            EXPECT_EQ(owner->gid, 1001u);
        }
    }
    unsetenv("SUDO_UID");
    unsetenv("SUDO_GID");
    EXPECT_FALSE(FileOwner::InvokingUser().has_value());
}

// Another instance that keeps the lock is waited for up to the limit, then the file is busy.
TEST(FileWriter, ALockHeldTooLongIsGivenUpAfterTheWait) {
    Folder folder;
    const std::string file = (folder.dir / "PC_INFO_261206090507.dat").string();
    const int other = open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(other, LOCK_EX), 0);
    PosixFileSystem files(PosixCalls::Real(), std::nullopt, std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(files.LockFile(file), FileBusyError);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    close(other);
    EXPECT_NE(files.LockFile(file), nullptr);
}

TEST(AppInfo, AFolderInTheLocalesCodeSetIsTextAndItsFilesAreNamedInBytes) {
    const struct {
        const char* folder;
        const char* codeset;
        const char* text;
    } cases[] = {
        {"/opt/\xC6\xFC\xCB\xDC", "EUC-JP", "/opt/日本"},
        {"/opt/\x93\xFA\x96\x7B", "SHIFT_JIS", "/opt/日本"},
        {"/opt/\xC6\xFC\xCB\xDC", "UTF-8", "/opt/\xC6\xFC\xCB\xDC"},
        {"/opt/\xC6\xFC\xCB\xDC", "ANSI_X3.4-1968", "/opt/\xC6\xFC\xCB\xDC"},
        {"/opt/\xFF\xFE", "EUC-JP", "/opt/\xFF\xFE"},  // no EUC-JP text
    };
    for (const auto& c : cases) {
        auto info = LinuxAppInfo::FromPath(std::string(c.folder) + "/QRX_PC_INFO", c.codeset);
        EXPECT_EQ(info.ExeFolder(), c.text) << c.codeset;
        EXPECT_EQ(info.NativeFolder(), c.folder) << c.codeset;
        EXPECT_EQ(info.NativePath(std::string(c.text) + "/PC_INFO_261206090507.dat"),
                  std::string(c.folder) + "/PC_INFO_261206090507.dat")
            << c.codeset;
    }
}

TEST(AppInfo, TheProgramsPathNamesItsFolderAndNameOnceAndForAll) {
    auto info = LinuxAppInfo::FromPath("/opt/tools/QRX_PC_INFO");
    EXPECT_EQ(info.ExeFolder(), "/opt/tools");
    EXPECT_EQ(info.ExeName(), "QRX_PC_INFO");
    EXPECT_EQ(LinuxAppInfo::FromPath("/QRX.PC.INFO").ExeFolder(), "/");
    EXPECT_EQ(LinuxAppInfo::FromPath("/QRX.PC.INFO").ExeName(), "QRX.PC");
    for (const char* loader : {"/lib64/ld-linux-x86-64.so.2", "/usr/lib/ld-linux-aarch64.so.1",
                               "/lib/x86_64-linux-gnu/ld-2.36.so"}) {
        EXPECT_TRUE(IsDynamicLoader(loader)) << loader;
    }
    for (const char* program : {"/opt/QRX_PC_INFO", "/opt/ld-tool", "/opt/old-linux.so/x"}) {
        EXPECT_FALSE(IsDynamicLoader(program)) << program;
    }
}

}  // namespace
}  // namespace qrx::test
