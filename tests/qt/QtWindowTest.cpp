#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "app/frmMain.h"
#include "output/Common.h"
#include "platform/linux/MbedTlsCrypto.h"
#include "platform/linux/QtFrontEnd.h"
#include "platform/linux/QtPlatformChoice.h"
#include "tests/shared/FrontEndContracts.h"
#include "tests/support/Harness.h"

namespace qrx::test {
namespace {

IQtFrontEnd* frontEnd = nullptr;  // loaded from the module once, in main

// The window of the loaded module. The module exports nothing but its entry, so its widgets
// are found by their names.
struct ModuleWindow : IWindowing {
    IWindowing& qt = frontEnd->Window();
    void ShowMainWindow(const WindowLayout& l, IWindowEvents& e) override {
        qt.ShowMainWindow(l, e);
    }
    void SetButtonEnabled(ButtonId id, bool on) override { qt.SetButtonEnabled(id, on); }
    void ProcessPendingEvents() override { qt.ProcessPendingEvents(); }
    int ShowMessage(const std::string& text, int style) override {
        return qt.ShowMessage(text, style);
    }
    void SetBusy(bool busy) override { qt.SetBusy(busy); }
    void EndProgram() override { qt.EndProgram(); }

    QWidget* Window() const {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QStringLiteral("frmMain")) {
                return w;
            }
        }
        return nullptr;
    }
    QPushButton* Button(ButtonId id) const {
        return Window()->findChild<QPushButton*>(QString::fromStdString(NameOf(id)));
    }
};

using Recorder = EventRecorder;

struct QtWindow : ::testing::Test {
    ModuleWindow window;
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

void PostClick(QWidget* button) {
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QCoreApplication::postEvent(
            button, new QMouseEvent(type, at, button->mapToGlobal(at), Qt::LeftButton,
                                    Qt::LeftButton, Qt::NoModifier));
    }
}

TEST_F(QtWindow, InputMadeWhileDisabledIsDroppedAndTheFocusComesBack) {
    const auto layout = frmMain::Layout();
    QPushButton* run = window.Button(ButtonId::cmdRun);
    run->setFocus();
    for (const auto& b : layout.buttons) {
        window.SetButtonEnabled(b.id, false);
    }
    PostClick(run);  // waits in the queue until the buttons are enabled again
    QCoreApplication::postEvent(run,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier));
    QCoreApplication::postEvent(run,
                                new QKeyEvent(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier));
    for (const auto& b : layout.buttons) {
        window.SetButtonEnabled(b.id, true);
    }
    window.ProcessPendingEvents();
    EXPECT_EQ(recorder.events, std::vector<std::string>{"loaded"});
    EXPECT_EQ(window.Window()->focusWidget(), run);
    PostClick(run);
    window.ProcessPendingEvents();
    EXPECT_EQ(recorder.events.back(), "cmdRun");
}

// The real form over the module's window, with a command that stands in for a run.
struct QtProgram : ::testing::Test {
    struct Commands : IFormCommands {
        ModuleWindow* window = nullptr;
        std::function<void()> beforeWork;
        int classes = 0;
        int answer = 0;
        void cmdRun_Click(frmMain& form) override {
            if (beforeWork) {
                beforeWork();
            }
            answer = window->ShowMessage("処理を開始します。よろしいですか？", 33);
            if (answer == kIdCancel) {
                return;
            }
            form.SetButtonsEnabled(false);
            for (int i = 0; i < 6; ++i) {
                ++classes;
            }
            form.SetButtonsEnabled(true);
            window->ShowMessage("処理を終了しました。", 64);
        }
        void CategoryClick(ButtonId, frmMain&) override {}
    };
    ModuleWindow window;
    ProgramState state;
    FakeAppInfo app;
    FakeClock clock;
    MemoryFileSystem files;
    basCommon common{state, app, clock, files};
    Commands commands;
    frmMain form{window, common, &commands};

    void SetUp() override {
        files.AddFolder(app.folder);
        state.DebugMode = true;
        commands.window = &window;
        form.Show();
    }
    // Clicks "処理開始" and runs the event loop until the program ends (99: it did not).
    int ClickRunUntilTheEnd() {
        QTimer::singleShot(0, [this] { window.Button(ButtonId::cmdRun)->click(); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        return QApplication::exec();
    }
    std::vector<std::string> Log() const {
        return files.Lines("/opt/qrx/INFO_LOG/202612/PC_INFO_261206.LOG");
    }
};

// The Qt window's driver of the shared close-during-a-command contract: the whole program over
// fakes, with the module's window. While the confirmation of a run is up the window is asked to
// close and the run button is clicked again; every box is answered with Enter as it opens.
struct QtFrontEnd : HarnessOver<ModuleWindow> {
    QtFrontEnd() { ServeEveryPlanClass(wmi); }
    ButtonId Command() const { return ButtonId::cmdRun; }
    int CloseDuringACommand() {
        program->Start("DEBUG");
        int boxes = 0;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (box == nullptr) {
                return;
            }
            if (++boxes == 1) {
                window.Window()->close();
                window.Button(ButtonId::cmdRun)->click();
            }
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(box, &enter);
        });
        answer.start(5);
        QTimer::singleShot(0, [this] { window.Button(ButtonId::cmdRun)->click(); });
        QTimer limit;  // only if it hangs; gone with this call
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        limit.start(10000);
        const int status = frontEnd->Run();
        EXPECT_EQ(boxes, 2);  // the confirmation and the completion
        EXPECT_FALSE(window.Window()->isVisible());
        return status;
    }
    std::vector<std::string> Records() { return FakeRecords(files, crypto, codec); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Qt, CloseDuringACommandContract, QtFrontEnd);

TEST_F(QtProgram, SigtermAtTheConfirmationCancelsItAndClosesTheWindow) {
    commands.beforeWork = [] { QTimer::singleShot(0, [] { std::raise(SIGTERM); }); };
    EXPECT_EQ(ClickRunUntilTheEnd(), 0);
    EXPECT_EQ(commands.answer, kIdCancel);
    EXPECT_EQ(commands.classes, 0);
    EXPECT_FALSE(window.Window()->isVisible());
    ASSERT_FALSE(Log().empty());
    EXPECT_TRUE(Log().back().ends_with("Program E n d----------"));
    // A box asked for afterwards is not shown.
    EXPECT_EQ(window.ShowMessage("?", 33), kIdCancel);
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
    const struct {
        int key;
        const char* text;
        int style;
        int result;
        QMessageBox::Icon icon;
    } cases[] = {
        {Qt::Key_Escape, "処理を開始します。よろしいですか？", 33, kIdCancel,
         QMessageBox::Question},
        {Qt::Key_Return, "?", 33, kIdOk, QMessageBox::Question},
        {Qt::Key_Escape, "a\r\nb", 64, kIdOk, QMessageBox::Information},
        {Qt::Key_Return, "x", 16, kIdOk, QMessageBox::Critical},
        {Qt::Key_Return, "x", 0, kIdOk, QMessageBox::NoIcon},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " in style " + std::to_string(c.style));
        QString title;
        QMessageBox::Icon icon{};
        AnswerWith(c.key, &title, &icon);
        EXPECT_EQ(window.ShowMessage(c.text, c.style), c.result);
        EXPECT_EQ(title.toStdString(), "QRX_PC_INFO");
        EXPECT_EQ(icon, c.icon);
    }
}

// As on the terminal: after an error box the program ends with status 1.
TEST_F(QtWindow, AfterAnErrorBoxTheProgramEndsWithStatusOne) {
    QString title;
    QMessageBox::Icon icon{};
    AnswerWith(Qt::Key_Return, &title, &icon);
    window.ShowMessage("収集した情報をファイルに書き込めませんでした。", mb::IconError);
    QTimer::singleShot(0, [this] { window.EndProgram(); });
    EXPECT_EQ(frontEnd->Run(), 1);
}

TEST_F(QtWindow, BusyShowsTheWaitCursorUntilRestored) {
    window.SetBusy(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    window.SetBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Where the system has no Japanese font the window falls back on the embedded one, so every
// caption and message must have all its characters there: those of the window, of a run that
// completes, one an error stops, one that could not write, and the cipher's system texts.
TEST(EmbeddedFont, HoldsEveryCharacterOfEveryCaptionAndMessage) {
    std::vector<std::string> texts = {frmMain::kCaption, "キャンセル"};
    for (const auto& b : frmMain::Layout().buttons) {
        texts.push_back(b.caption);
    }
    Harness h;
    h.program->Start("");
    h.window.events->OnButtonClicked(ButtonId::cmdRun);  // no classes: stopped by an error
    for (const auto& step : Collector::RunPlan()) {
        h.wmi.classes[step.className] = {};
    }
    h.window.events->OnButtonClicked(ButtonId::cmdRun);
    h.files.readOnly.insert(h.app.folder);
    h.window.events->OnButtonClicked(ButtonId::cmdRun);
    ASSERT_EQ(h.window.messages.size(), 6u);
    for (const auto& m : h.window.messages) {
        texts.push_back(m.text);
    }
    MbedTlsCrypto crypto;
    for (std::uint32_t code = 0x80090001; code <= 0x80090020; ++code) {
        texts.push_back(crypto.SystemMessage(code, 0));
    }
    for (std::uint32_t code : {6u, 87u, 234u}) {
        texts.push_back(crypto.SystemMessage(code, 0));
    }

    QFont font(QStringLiteral("QRX UI Gothic"));
    font.setStyleStrategy(QFont::NoFontMerging);
    ASSERT_EQ(QFontInfo(font).family(), QStringLiteral("QRX UI Gothic"));
    const QFontMetrics metrics(font);
    for (const auto& text : texts) {
        for (const QChar c : QString::fromStdString(text)) {
            if (c != u'\r' && c != u'\n') {
                EXPECT_TRUE(metrics.inFont(c))
                    << text << ": U+" << std::hex << static_cast<unsigned>(c.unicode());
            }
        }
    }
}

// A session without a usable plugin falls back (the program then uses the terminal); a
// Wayland session without Qt's Wayland plugin still gets a window through X11 where it can.
TEST(QtPlatforms, OnlyInstalledPluginsOfTheSessionsDisplaysAreChosen) {
    char pattern[] = "/tmp/qrx-plugins-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    const std::vector<std::string> xcbOnly = {dir / "none", dir};
    std::ofstream(dir / "libqxcb.so") << "";
    const auto said = [&](const std::string& wayland, const std::string& x11) {
        const Result<std::string> r = ChooseQtPlatforms(wayland, x11, xcbOnly);
        return r ? *r : "(" + r.failure().text + ")";
    };
    EXPECT_NE(said("wayland-0", "").find("qt6-wayland)"), std::string::npos);
    EXPECT_EQ(said("wayland-0", ":0"), "xcb");
    std::ofstream(dir / "libqwayland-egl.so") << "";
    EXPECT_EQ(said("wayland-0", ":0"), "wayland;xcb");
    EXPECT_EQ(said("", ":0"), "xcb");
    std::filesystem::remove(dir / "libqxcb.so");
    EXPECT_NE(said("", ":0").find("X11"), std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qrx::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    std::string reason;
    auto qt = qrx::LoadQtFrontEnd(QRX_QT_MODULE, argc, argv, reason);
    if (!qt) {
        std::cerr << "cannot load the Qt module: " << reason << "\n";
        return 1;
    }
    qrx::test::frontEnd = qt.get();
    return RUN_ALL_TESTS();
}
