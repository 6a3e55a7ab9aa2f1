#include <gtest/gtest.h>

#include "tests/support/Harness.h"

namespace qrx::test {
namespace {

struct TraceLog : ::testing::Test {
    Harness h;
    basCommon& common() { return h.program->common; }
    void SetUp() override { h.program->state.DebugMode = true; }
};

TEST_F(TraceLog, LinesGoToTheDaysFileOfTheMonthsFolderWithTabsKept) {
    common().WriteLog("a\tb");
    common().WriteLog("");
    EXPECT_EQ(h.LogLines(), (std::vector<std::string>{"09:05:07 QRX_PC_INFO[4242] a\tb",
                                                      "09:05:07 QRX_PC_INFO[4242] "}));
    EXPECT_EQ(h.files.files.at(h.LogPath()).substr(30, 2), "\r\n");
}

TEST_F(TraceLog, DayAndMonthRollOverToNewFilesAndFolders) {
    h.clock.now = {2026, 12, 31, 23, 59, 59};
    common().WriteLog("old year");
    h.clock.now = {2027, 1, 1, 0, 0, 0};
    common().WriteLog("new year");
    EXPECT_EQ(h.files.Lines("/opt/qrx/INFO_LOG/202612/PC_INFO_261231.LOG"),
              std::vector<std::string>{"23:59:59 QRX_PC_INFO[4242] old year"});
    EXPECT_EQ(h.files.Lines("/opt/qrx/INFO_LOG/202701/PC_INFO_270101.LOG"),
              std::vector<std::string>{"00:00:00 QRX_PC_INFO[4242] new year"});
}

TEST_F(TraceLog, UnwritableFolderLosesTheLineSilentlyAndTheNextCallTriesAgain) {
    h.files.readOnly.insert("/opt/qrx");
    EXPECT_NO_THROW(common().WriteLog("lost"));
    EXPECT_TRUE(h.files.files.empty());
    h.files.readOnly.clear();
    common().WriteLog("kept");
    EXPECT_EQ(h.LogMessages(), std::vector<std::string>{"kept"});
}

// A log folder that another user made gets no line and no folder of ours below it.
TEST_F(TraceLog, AnotherUsersLogFolderIsNotWrittenInto) {
    for (const std::string foreign : {"/opt/qrx/INFO_LOG", "/opt/qrx/INFO_LOG/202612"}) {
        h.files.files.clear();
        h.files.folders = {"/opt/qrx", "/opt/qrx/INFO_LOG", foreign};
        h.files.foreign = {foreign};
        const auto folders = h.files.folders;
        common().WriteLog("lost");
        EXPECT_TRUE(h.files.files.empty()) << foreign;
        EXPECT_EQ(h.files.folders, folders) << foreign;
    }
    h.files.foreign.clear();
    common().WriteLog("kept");
    EXPECT_EQ(h.LogMessages(), std::vector<std::string>{"kept"});
}

TEST_F(TraceLog, AppPathEndsInOneSeparatorAndDropsTheLongPathPrefixOnWindows) {
    h.app.separator = '\\';
    h.app.folder = "C:\\Tools\\Info";
    EXPECT_EQ(common().GetAppPath(), "C:\\Tools\\Info\\");
    h.app.folder = "\\\\?\\C:\\Tools\\Info";
    EXPECT_EQ(common().GetAppPath(), "C:\\Tools\\Info\\");
    h.app.folder = "C:\\";
    EXPECT_EQ(common().GetAppPath(), "C:\\");
    h.app.separator = '/';
    h.app.folder = "/";
    EXPECT_EQ(common().GetAppPath(), "/");
}

}  // namespace
}  // namespace qrx::test
