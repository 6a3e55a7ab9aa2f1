#include <gtest/gtest.h>

#include "app/basMain.h"
#include "tests/support/Harness.h"

namespace qrx::test {
namespace {

TEST(Startup, OnlyAnExactFirstWordDebugTurnsTheTraceLogOn) {
    for (const char* on : {"DEBUG", "DEBUG x", "DEBUG  DEBUG", "DEBUG "}) {
        EXPECT_TRUE(IsDebugCommandLine(on)) << on;
    }
    for (const char* off : {"", "debug", "Debug", "DEBUGX", " DEBUG", "X DEBUG", "DEBUG\t"}) {
        EXPECT_FALSE(IsDebugCommandLine(off)) << off;
    }
}

TEST(Startup, OpenAndCloseInDebugModeLeaveThreeLines) {
    Harness h;
    h.program->Start("DEBUG");
    h.window.events->OnCloseRequested();
    EXPECT_TRUE(h.program->state.DebugMode);
    ASSERT_EQ(h.LogLines().size(), 3u);
    EXPECT_EQ(h.LogLines()[0], "09:05:07 QRX_PC_INFO[4242] ");
    EXPECT_EQ(h.LogMessages()[1],
              "Form_Load() ----------PC Infomation Get Program Start----------");
    EXPECT_EQ(h.LogMessages()[2],
              "Form_Load() ----------PC Infomation Get Program E n d----------");
}

TEST(Startup, QuittingThroughTheEndButtonWritesNoClosingLine) {
    Harness h;
    h.program->Start("DEBUG");
    h.window.events->OnButtonClicked(ButtonId::cmdEnd);
    EXPECT_TRUE(h.window.ended);
    EXPECT_EQ(h.LogLines().size(), 2u);
}

TEST(Startup, OutsideDebugModeNothingIsCreatedNorTheClockRead) {
    Harness h;
    h.program->Start("debug");
    h.window.events->OnCloseRequested();
    EXPECT_EQ(h.files.folders.size(), 1u);
    EXPECT_TRUE(h.files.files.empty());
    EXPECT_EQ(h.clock.reads, 0);
}

TEST(Startup, WindowShowsOnlyRunAndEndInsideItsClientArea) {
    const WindowLayout layout = frmMain::Layout();
    EXPECT_EQ(layout.caption, "QuorexPC情報収集ツール");
    EXPECT_EQ(layout.clientWidth, 4440);
    EXPECT_EQ(layout.clientHeight, 2850);
    ASSERT_EQ(layout.buttons.size(), 7u);
    for (const auto& b : layout.buttons) {
        const bool inside = b.top + b.height <= layout.clientHeight;
        EXPECT_EQ(b.visible, inside) << b.name;
        EXPECT_EQ(b.visible, b.id == ButtonId::cmdRun || b.id == ButtonId::cmdEnd) << b.name;
    }
    EXPECT_EQ(layout.buttons[1].caption, "終\u3000了");
}

TEST(Startup, SetButtonsEnabledSetsAllSevenInOrderThenProcessesEventsOnce) {
    Harness h;
    h.program->Start("");
    h.window.calls.clear();
    h.program->form.SetButtonsEnabled(false);
    const std::vector<std::string> expected = {"cmdNIC-",  "cmdCPU-", "cmdOS-",  "cmdMB-",
                                               "cmdUUID-", "cmdEnd-", "cmdRun-", "process"};
    EXPECT_EQ(h.window.calls, expected);
}

}  // namespace
}  // namespace qrx::test
