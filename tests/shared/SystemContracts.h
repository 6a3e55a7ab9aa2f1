#pragma once

// Contracts of a platform's file system and application info, the same cases on every
// platform; a platform's test program instantiates them over its real backends.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/System.h"
#include "tests/support/TempFolder.h"

namespace qrx::test {
namespace {

// Something at a file's name that is not a regular disk file: a link, a device, a folder, a
// pipe. Made by a platform's test, it goes again with this object.
struct NotAFile {
    virtual ~NotAFile() = default;
    // The name a line is written to.
    virtual std::string Path() const = 0;
    // Whether anything written reached it (a pipe's reader, say).
    virtual bool Reached() const { return false; }
};
// One that is only its name: what stands there is left to the file system.
struct NamedOnly : NotAFile {
    std::filesystem::path path;
    explicit NamedOnly(std::filesystem::path p) : path(std::move(p)) {}
    std::string Path() const override { return path.string(); }
};
struct NotAFileKind {
    std::string what;
    // Makes it in the folder `dir`, where the regular file `kept` must stay as it is.
    std::function<std::unique_ptr<NotAFile>(const std::filesystem::path& dir,
                                            const std::filesystem::path& kept)>
        make;
};
// The kinds a platform's system has, for its file system `Files`: each platform's test program
// defines it before it instantiates FileSystemContract.
template <typename Files>
std::vector<NotAFileKind> NotAFileKinds();

// A folder of the test's own below the system's temporary folder, removed afterwards.
template <typename Files>
struct FileSystemContract : ::testing::Test {
    Files backend;
    TempFolder folder;
    std::filesystem::path dir = folder.dir;

    std::string In(const std::string& name) const { return (dir / name).string(); }
    static std::string Read(const std::string& path) { return TempFolder::Read(path); }
};
TYPED_TEST_SUITE_P(FileSystemContract);

TYPED_TEST_P(FileSystemContract, AppendCreatesTheFileAndAddsCrLfLinesAfterWhatIsThere) {
    IFileSystem& files = this->backend;
    const std::string file = this->In("a.LOG");
    EXPECT_TRUE(files.AppendLine(file, "one\tx"));
    EXPECT_TRUE(files.AppendLine(file, ""));
    EXPECT_TRUE(files.AppendLine(file, "three"));
    EXPECT_EQ(this->Read(file), "one\tx\r\n\r\nthree\r\n");
    const std::string kept = this->In("b.dat");
    { std::ofstream(kept, std::ios::binary) << "kept\r\n"; }
    EXPECT_TRUE(files.AppendLine(kept, "added"));
    EXPECT_EQ(this->Read(kept), "kept\r\nadded\r\n");
}

TYPED_TEST_P(FileSystemContract, FoldersAreMadeOnceAndOnlyBelowAnExistingOne) {
    IFileSystem& files = this->backend;
    EXPECT_TRUE(files.CreateFolder(this->In("INFO_LOG")));
    EXPECT_TRUE(std::filesystem::is_directory(this->dir / "INFO_LOG"));
    EXPECT_FALSE(files.CreateFolder(this->In("INFO_LOG")));
    EXPECT_TRUE(files.IsOwnFolder(this->In("INFO_LOG")));
    EXPECT_FALSE(files.IsOwnFolder(this->In("missing")));
    EXPECT_FALSE(files.CreateFolder((this->dir / "missing" / "202612").string()));
    EXPECT_FALSE(files.AppendLine((this->dir / "missing" / "b.LOG").string(), "lost"));
    EXPECT_FALSE(std::filesystem::exists(this->dir / "missing"));
}

// A line goes only into a regular disk file: never through a link, into a device, a folder or a
// pipe, and a pipe without a reader is not waited for.
TYPED_TEST_P(FileSystemContract, OnlyRegularFilesAreWrittenAndNoneIsWaitedFor) {
    IFileSystem& files = this->backend;
    const std::filesystem::path kept = this->dir / "kept.dat";
    { std::ofstream(kept, std::ios::binary) << "keep"; }
    for (const auto& kind : NotAFileKinds<TypeParam>()) {
        SCOPED_TRACE(kind.what);
        const auto special = kind.make(this->dir, kept);
        ASSERT_NE(special, nullptr);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(files.AppendLine(special->Path(), "lost"));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(special->Reached());
    }
    EXPECT_EQ(this->Read(kept.string()), "keep");
}

// The lock of a run: a second locker (another instance) waits until the first lets go; lines,
// the holder's own among them, still go out while it is held.
TYPED_TEST_P(FileSystemContract, ALockIsWaitedForAndLinesStillGoOut) {
    using namespace std::chrono_literals;
    IFileSystem& files = this->backend;
    const std::string file = this->In("PC_INFO_261206090507.dat");
    auto lock = files.LockFile(file);
    ASSERT_NE(lock, nullptr);
    EXPECT_TRUE(files.AppendLine(file, "mine"));
    std::thread release([&lock] {
        std::this_thread::sleep_for(300ms);
        lock.reset();
    });
    const auto start = std::chrono::steady_clock::now();
    TypeParam other;
    EXPECT_NE(static_cast<IFileSystem&>(other).LockFile(file), nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    release.join();
    EXPECT_EQ(this->Read(file), "mine\r\n");
}

REGISTER_TYPED_TEST_SUITE_P(FileSystemContract,
                            AppendCreatesTheFileAndAddsCrLfLinesAfterWhatIsThere,
                            FoldersAreMadeOnceAndOnlyBelowAnExistingOne,
                            OnlyRegularFilesAreWrittenAndNoneIsWaitedFor,
                            ALockIsWaitedForAndLinesStillGoOut);

template <typename App>
struct AppInfoContract : ::testing::Test {
    App backend;
};
TYPED_TEST_SUITE_P(AppInfoContract);

// The running program is the test executable itself.
TYPED_TEST_P(AppInfoContract, FolderNameAndNumberOfTheRunningExecutable) {
    IAppInfo& app = this->backend;
    const std::string folder = app.ExeFolder();
    const std::string name = app.ExeName();
    const std::filesystem::path dir(folder);
    EXPECT_TRUE(dir.is_absolute()) << folder;
    EXPECT_NE(folder.back(), app.PathSeparator()) << "only a root folder keeps its separator";
    EXPECT_NE(folder.find(app.PathSeparator()), std::string::npos) << folder;
    EXPECT_EQ(name.find('.'), std::string::npos) << "no extension: " << name;
    EXPECT_TRUE(std::filesystem::exists(dir / name) ||
                std::filesystem::exists(dir / (name + ".exe")))
        << folder << " " << name;
    EXPECT_NE(app.ProgramNumber(), 0u);
    EXPECT_EQ(app.ProgramNumber(), app.ProgramNumber());
}

REGISTER_TYPED_TEST_SUITE_P(AppInfoContract, FolderNameAndNumberOfTheRunningExecutable);

}  // namespace
}  // namespace qrx::test
