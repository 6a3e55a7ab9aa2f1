// Whose files the program writes into and what it accepts as its window's module.
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/LinuxSystem.h"
#include "platform/linux/QtFrontEnd.h"
#include "tests/support/TempFolder.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kUser = 1000, kInvoker = 1001, kOther = 1002;

TEST(Ownership, OnlyAPrivateRegularFileOfATrustedOwnerIsUsed) {
    const TrustedOwners owners(kUser, kInvoker);
    const struct {
        mode_t mode;
        uid_t owner;
        nlink_t links;
        const char* fault;
    } cases[] = {
        {S_IFREG | 0600, kUser, 1, nullptr},
        {S_IFREG | 0644, 0, 1, nullptr},
        {S_IFREG | 0600, kInvoker, 1, nullptr},
        {S_IFREG | 0600, kOther, 1, "it belongs to another user"},
        {S_IFREG | 0620, kUser, 1, "other users can write to it"},
        {S_IFREG | 0602, kUser, 1, "other users can write to it"},
        {S_IFREG | 0600, kUser, 2, "it has other names (hard links)"},
        {S_IFIFO | 0600, kUser, 1, "not a regular file"},
        {S_IFDIR | 0700, kUser, 1, "not a regular file"},
    };
    for (const auto& c : cases) {
        struct stat st {};
        st.st_mode = c.mode;
        st.st_uid = c.owner;
        st.st_nlink = c.links;
        const char* fault = ForeignFileFault(st, owners);
        EXPECT_STREQ(fault, c.fault) << std::oct << c.mode << " " << c.owner;
    }
    // Without sudo the invoker is nobody in particular.
    EXPECT_FALSE(TrustedOwners(kUser, std::nullopt).Trusts(kInvoker));
}

// The real system calls, except that every file and folder seems to belong to someone else.
struct OthersFiles : PosixCalls {
    int Fstat(int fd, struct stat* st) override { return Foreign(PosixCalls::Fstat(fd, st), st); }
    int Stat(int dir, const char* path, struct stat* st, int flags) override {
        return Foreign(PosixCalls::Stat(dir, path, st, flags), st);
    }
    static int Foreign(int result, struct stat* st) {
        st->st_uid = kOther;
        return result;
    }
};

TEST(Ownership, AnotherUsersFileOrFolderIsNotWrittenInto) {
    TempFolder folder;
    const std::string file = (folder.dir / "PC_INFO_261206090507.dat").string();
    folder.Write("PC_INFO_261206090507.dat", "theirs\r\n");
    OthersFiles calls;
    PosixFileSystem files(calls, std::nullopt);
    EXPECT_FALSE(files.AppendLine(file, "line"));
    EXPECT_EQ(folder.Read(file), "theirs\r\n");
    EXPECT_FALSE(files.IsOwnFolder(folder.dir.string()));

    // The user's own: the folder, a link of theirs to it; not a file or a missing folder.
    PosixFileSystem own;
    fs::create_directory_symlink(folder.dir, folder.dir / "link");
    EXPECT_TRUE(own.IsOwnFolder(folder.dir.string()));
    EXPECT_TRUE(own.IsOwnFolder((folder.dir / "link").string()));
    EXPECT_FALSE(own.IsOwnFolder(file));
    EXPECT_FALSE(own.IsOwnFolder((folder.dir / "missing").string()));
}

// A module is checked against its size before it is mapped: a cut file would fault when its
// missing pages are touched.
TEST(Ownership, AModuleMustBeAWholeSharedObjectOfThisMachine) {
    TempFolder folder;
    const fs::path module = folder.dir / "QRX_PC_INFO_qt.so";
    const auto size = static_cast<off_t>(fs::file_size(QRX_QT_MODULE));
    const struct {
        off_t keep;
        int patchAt;  // a byte of the header to change, or -1
        const char* fault;
    } cases[] = {
        {size, -1, nullptr},
        {size, EI_MAG1, "invalid ELF header"},
        {size, EI_CLASS, "built for another machine"},
        {size, 18, "built for another machine"},  // e_machine
        {size, 16, "not a shared object"},        // e_type
        {0, -1, "invalid ELF header"},
        {63, -1, "invalid ELF header"},
        {100, -1, "cut short, its ELF headers reach beyond its end"},
        {size / 2, -1, "cut short"},
        {size - 1, -1, "cut short, its ELF headers reach beyond its end"},
    };
    for (const auto& c : cases) {
        fs::remove(module);
        fs::copy_file(QRX_QT_MODULE, module);
        fs::resize_file(module, static_cast<std::uintmax_t>(c.keep));
        if (c.patchAt >= 0) {
            std::fstream f(module, std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(c.patchAt);
            f.put('\x7e');
        }
        const int fd = open(module.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const char* fault = ElfModuleFault(fd, c.keep);
        close(fd);
        if (c.fault == nullptr) {
            EXPECT_EQ(fault, nullptr) << fault;
        } else {
            ASSERT_NE(fault, nullptr) << c.keep << " " << c.patchAt;
            EXPECT_TRUE(std::string(fault).starts_with(c.fault)) << fault;
        }
    }
}

}  // namespace
}  // namespace qrx::test
