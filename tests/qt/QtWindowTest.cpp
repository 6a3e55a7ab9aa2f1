#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/frmMain.h"
#include "platform/linux/QtWindowing.h"
#include "tests/support/Fakes.h"

namespace qrx::test {
namespace {

struct Recorder : IWindowEvents {
    std::vector<std::string> events;
    void OnLoaded() override { events.push_back("loaded"); }
    bool OnCloseRequested() override {
        events.push_back("close");
        return true;
    }
    void OnButtonClicked(ButtonId id) override { events.push_back(NameOf(id)); }
};

struct QtWindow : ::testing::Test {
    QtWindowing window;
    Recorder recorder;
    void SetUp() override { window.ShowMainWindow(frmMain::Layout(), recorder); }
};

TEST_F(QtWindow, CaptionSizeAndOnlyTheTwoVisibleButtons) {
    QWidget* w = window.Window();
    EXPECT_EQ(w->windowTitle().toStdString(), "QuorexPC情報収集ツール");
    EXPECT_EQ(w->size(), QSize(296, 190));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(w->windowIcon().isNull());
    EXPECT_EQ(recorder.events, std::vector<std::string>{"loaded"});

    QPushButton* run = window.Button(ButtonId::cmdRun);
    QPushButton* end = window.Button(ButtonId::cmdEnd);
    EXPECT_EQ(run->text().toStdString(), "処理開始");
    EXPECT_EQ(end->text().toStdString(), "終　了");
    EXPECT_EQ(run->geometry(), QRect(28, 22, 241, 62));
    EXPECT_EQ(end->geometry(), QRect(28, 106, 241, 62));
    EXPECT_TRUE(run->isVisible() && end->isVisible());
    for (ButtonId id : {ButtonId::cmdNIC, ButtonId::cmdCPU, ButtonId::cmdOS, ButtonId::cmdMB,
                        ButtonId::cmdUUID}) {
        ASSERT_NE(window.Button(id), nullptr);
        EXPECT_FALSE(window.Button(id)->isVisible()) << NameOf(id);
        EXPECT_GE(window.Button(id)->y(), 190);
    }
    // Tab goes from "終　了" to "処理開始" and back; the hidden buttons never take focus.
    end->setFocus();
    QWidget* next = end->nextInFocusChain();
    while (!next->isVisible() || next->focusPolicy() == Qt::NoFocus) {
        next = next->nextInFocusChain();
    }
    EXPECT_EQ(next, run);
}

TEST_F(QtWindow, ClicksReachTheLogicOnlyWhileEnabled) {
    window.Button(ButtonId::cmdRun)->click();
    window.SetButtonEnabled(ButtonId::cmdRun, false);
    window.Button(ButtonId::cmdRun)->click();
    window.ProcessPendingEvents();
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"loaded", "cmdRun"}));
    EXPECT_FALSE(window.Button(ButtonId::cmdRun)->isEnabled());
}

TEST_F(QtWindow, ClosingAsksTheLogicFirst) {
    window.Window()->close();
    EXPECT_EQ(recorder.events.back(), "close");
}

// Answers the next modal message box with one key press and reports what it showed.
void AnswerWith(int key, QString* title, QMessageBox::Icon* icon) {
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        *title = box->windowTitle();
        *icon = box->icon();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
    });
}

TEST_F(QtWindow, MessageBoxesCarryTheProgramNameIconAndResult) {
    QString title;
    QMessageBox::Icon icon{};
    AnswerWith(Qt::Key_Escape, &title, &icon);
    EXPECT_EQ(window.ShowMessage("処理を開始します。よろしいですか？", 33), kIdCancel);
    EXPECT_EQ(title.toStdString(), "QRX_PC_INFO");
    EXPECT_EQ(icon, QMessageBox::Question);
    AnswerWith(Qt::Key_Return, &title, &icon);
    EXPECT_EQ(window.ShowMessage("?", 33), kIdOk);
    AnswerWith(Qt::Key_Escape, &title, &icon);
    EXPECT_EQ(window.ShowMessage("a\r\nb", 64), kIdOk);
    EXPECT_EQ(icon, QMessageBox::Information);
    AnswerWith(Qt::Key_Return, &title, &icon);
    window.ShowMessage("x", 16);
    EXPECT_EQ(icon, QMessageBox::Critical);
    AnswerWith(Qt::Key_Return, &title, &icon);
    window.ShowMessage("x", 0);
    EXPECT_EQ(icon, QMessageBox::NoIcon);
}

TEST_F(QtWindow, BusyShowsTheWaitCursorUntilRestored) {
    window.SetBusy(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    window.SetBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace qrx::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(qrx_resources);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
