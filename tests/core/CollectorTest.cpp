#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/Harness.h"

namespace qrx::test {
namespace {

struct Collection : ::testing::Test {
    Harness h;
    const std::string runFile = "/opt/qrx/PC_INFO_261206090507.dat";

    void SetUp() override {
        for (const auto& step : Collector::RunPlan()) {
            FakeWmi::Instance instance;
            for (const auto& p : step.properties) {
                instance[p] = Variant::Text(p + "-value");
            }
            instance["SerialNumber"] = Variant::Text("SN");
            h.wmi.classes[step.className] = {instance};
        }
        h.program->Start("");
    }
    void Click(ButtonId id) { h.window.events->OnButtonClicked(id); }
};

TEST_F(Collection, RunWritesThePlanInOrderAndNamesTheFile) {
    Click(ButtonId::cmdRun);
    ASSERT_EQ(h.window.messages.size(), 2u);
    EXPECT_EQ(h.window.messages[0].text, "処理を開始します。よろしいですか？");
    EXPECT_EQ(h.window.messages[0].style, 33);
    EXPECT_EQ(h.window.messages[1].style, 64);
    EXPECT_EQ(
        h.window.messages[1].text,
        "処理を終了しました。\r\n作成された以下のファイルを弊社サポートまでお送りください。\r\n"
        "[/opt/qrx/PC_INFO_261206090507.dat]");
    EXPECT_FALSE(h.window.messages[1].busy);
    const auto records = h.Records(runFile);
    ASSERT_EQ(records.size(), 6u + 28u);
    EXPECT_EQ(records[0], "----------Win32_NetworkAdapterConfiguration----------");
    EXPECT_EQ(records[1], "Caption\tCaption-value");
    EXPECT_EQ(records[4], "----------Win32_NetworkAdapter----------");
    EXPECT_EQ(records.back(), "UUID\tUUID-value");
    EXPECT_TRUE(h.window.enabled[ButtonId::cmdRun]);
    EXPECT_EQ(h.program->state.RunStartTime, h.clock.now);
}

// Another instance waits for the lock: the run holds it while it writes, never while a box waits
// for the user.
TEST_F(Collection, TheDataFileIsLockedWhileTheRunWritesAndFreeAtEveryMessage) {
    std::vector<std::string> lockedAtMessage;
    h.window.onMessage = [&] { lockedAtMessage.push_back(h.files.locked); };
    Click(ButtonId::cmdRun);
    Click(ButtonId::cmdOS);
    EXPECT_EQ(h.files.appendsToLocked, static_cast<int>(h.files.Lines(runFile).size()));
    EXPECT_EQ(lockedAtMessage, (std::vector<std::string>{"", ""}));
    EXPECT_TRUE(h.files.locked.empty());
}

TEST_F(Collection, CancelLeavesEverythingAsItWas) {
    h.window.answers.push_back(kIdCancel);
    h.window.calls.clear();
    Click(ButtonId::cmdRun);
    EXPECT_TRUE(h.files.files.empty());
    EXPECT_EQ(h.program->state.RunStartTime, LocalDateTime::Zero());
    EXPECT_EQ(h.window.calls, std::vector<std::string>{"message 33"});
}

TEST_F(Collection, ButtonsAreDisabledBeforeTheStartTimeIsTaken) {
    h.window.onProcessEvents = [this] {
        if (!h.window.enabled[ButtonId::cmdRun]) {
            EXPECT_EQ(h.clock.reads, 0);
            EXPECT_FALSE(h.window.enabled[ButtonId::cmdEnd]);
        }
    };
    Click(ButtonId::cmdRun);
    EXPECT_EQ(h.clock.reads, 1);
}

TEST_F(Collection, AnEscapingErrorIsShownAndTheButtonsComeBack) {
    h.wmi.classes.erase("Win32_Processor");
    Click(ButtonId::cmdRun);
    ASSERT_EQ(h.window.messages.size(), 2u);
    EXPECT_EQ(h.window.messages[1].style, 16);
    EXPECT_NE(h.window.messages[1].text.find("-2147217392 (&H80041010)"), std::string::npos);
    EXPECT_FALSE(h.window.messages[1].busy);
    EXPECT_TRUE(h.window.enabled[ButtonId::cmdRun]);
    const auto records = h.Records(runFile);
    EXPECT_EQ(records.back(), "----------Win32_Processor----------");
}

TEST_F(Collection, LostRecordsAreReportedInsteadOfTheCompletion) {
    h.files.readOnly.insert("/opt/qrx");
    Click(ButtonId::cmdRun);
    ASSERT_EQ(h.window.messages.size(), 2u);
    EXPECT_EQ(h.window.messages[1].style, 16);
    EXPECT_NE(h.window.messages[1].text.find("[/opt/qrx/PC_INFO_261206090507.dat]"),
              std::string::npos);
    // The next run that can write completes as usual.
    h.files.readOnly.clear();
    Click(ButtonId::cmdRun);
    EXPECT_EQ(h.window.messages.back().style, 64);
    // One lost record among many is enough: only the last of the next run fails.
    h.files.failAppend = h.files.appends + 34;
    Click(ButtonId::cmdRun);
    EXPECT_EQ(h.window.messages.back().style, 16);
}

TEST_F(Collection, CategoriesUseTheirOwnListsAndTheLatestRunsFile) {
    Click(ButtonId::cmdOS);
    Click(ButtonId::cmdMB);
    const auto zero = h.Records("/opt/qrx/PC_INFO_991230000000.dat");
    EXPECT_EQ(std::count(zero.begin(), zero.end(), "BuildNumber\tBuildNumber-value"), 0);
    EXPECT_EQ(zero.size(), 1u + 9u + 1u + 4u);
    EXPECT_EQ(zero.back(), "SerialNumber\tSN");
    EXPECT_TRUE(h.window.messages.empty());

    Click(ButtonId::cmdRun);
    Click(ButtonId::cmdUUID);
    const auto run = h.Records(runFile);
    EXPECT_EQ(run.size(), 34u + 4u);
    EXPECT_EQ(run[34], "----------Win32_ComputerSystemProduct----------");
}

TEST_F(Collection, TwoRunsInOneSecondShareTheirFile) {
    Click(ButtonId::cmdRun);
    Click(ButtonId::cmdRun);
    EXPECT_EQ(h.Records(runFile).size(), 68u);
}

TEST_F(Collection, RootFolderOfADriveGetsOneSeparator) {
    h.app.separator = '\\';
    h.files.separator = '\\';
    h.app.folder = "C:\\";
    h.files.AddFolder("C:");
    Click(ButtonId::cmdRun);
    EXPECT_NE(h.window.messages[1].text.find("[C:\\PC_INFO_261206090507.dat]"), std::string::npos);
}

TEST_F(Collection, CloseAndClicksDuringARunWaitUntilItHasReturned) {
    h.program->state.DebugMode = true;
    // While the buttons are disabled the window is asked to close twice and a click that
    // waited in the queue arrives for the run button.
    int passes = 0;
    h.window.onProcessEvents = [&] {
        if (++passes == 1) {
            EXPECT_FALSE(h.window.events->OnCloseRequested());
            EXPECT_FALSE(h.window.events->OnCloseRequested());
            h.window.events->OnButtonClicked(ButtonId::cmdRun);
            h.window.events->OnButtonClicked(ButtonId::cmdEnd);
        }
    };
    Click(ButtonId::cmdRun);
    // The whole plan is written, the completion shown once, then the program ends.
    EXPECT_EQ(h.Records(runFile).size(), 6u + 28u);
    ASSERT_EQ(h.window.messages.size(), 2u);
    EXPECT_EQ(h.window.calls.back(), "end");
    const auto log = h.LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "Form_Load() ----------PC Infomation Get Program E n d----------"),
              1);
    EXPECT_EQ(log.back(), "Form_Load() ----------PC Infomation Get Program E n d----------");
    // A later close request (a WM_CLOSE after the end of the session) writes no second line.
    EXPECT_TRUE(h.window.events->OnCloseRequested());
    EXPECT_EQ(h.LogMessages().size(), log.size());
}

}  // namespace
}  // namespace qrx::test
