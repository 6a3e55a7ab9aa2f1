#pragma once

// Contracts of a platform's file system and application info, the same cases on every
// platform; a platform's test program instantiates them over its real backends.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/System.h"
#include "tests/support/TempFolder.h"

namespace qrx::test {
namespace {

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

REGISTER_TYPED_TEST_SUITE_P(FileSystemContract,
                            AppendCreatesTheFileAndAddsCrLfLinesAfterWhatIsThere,
                            FoldersAreMadeOnceAndOnlyBelowAnExistingOne);

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
