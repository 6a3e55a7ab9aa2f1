#include "platform/linux/QtWindowing.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/linux/CloseSignals.h"

namespace qrx {

namespace {

QString ToQt(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

}  // namespace

class QtMainWidget : public QWidget {
  public:
    explicit QtMainWidget(IWindowEvents& events)
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
          events_(events) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        // The close request is never refused; while a command is in flight the form keeps it
        // and ends the program once the command has returned.
        if (events_.OnCloseRequested()) {
            event->accept();
        } else {
            event->ignore();
        }
    }

  private:
    IWindowEvents& events_;
};

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

QtWindowing::QtWindowing() = default;
QtWindowing::~QtWindowing() = default;

void QtWindowing::ShowMainWindow(const WindowLayout& layout, IWindowEvents& events) {
    window_ = std::make_unique<QtMainWidget>(events);
    errorShown_ = false;  // the exit status belongs to this window's life
    window_->setObjectName(QStringLiteral("frmMain"));
    window_->setWindowTitle(ToQt(layout.caption));
    window_->setWindowIcon(QIcon(QStringLiteral(":/QRX_PC_INFO.ico")));
    window_->setFixedSize(TwipsToPixels(layout.clientWidth), TwipsToPixels(layout.clientHeight));

    std::vector<ButtonLayout> byTab(layout.buttons);
    std::sort(byTab.begin(), byTab.end(),
              [](const ButtonLayout& a, const ButtonLayout& b) { return a.tabIndex < b.tabIndex; });
    buttons_.clear();
    QPushButton* previous = nullptr;
    for (const auto& b : byTab) {
        auto* button = new QPushButton(ToQt(b.caption), window_.get());
        button->setObjectName(ToQt(b.name));
        button->setGeometry(TwipsToPixels(b.left), TwipsToPixels(b.top), TwipsToPixels(b.width),
                            TwipsToPixels(b.height));
        button->setVisible(b.visible);
        button->setAutoDefault(true);
        const ButtonId id = b.id;
        QObject::connect(button, &QPushButton::clicked,
                         [&events, id] { events.OnButtonClicked(id); });
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, button);
        }
        previous = button;
        buttons_[id] = button;
    }

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window_->move(area.center() - window_->rect().center());
    }
    if (const int fd = CloseSignals::Install(); fd >= 0) {
        closeSignals_ = new QSocketNotifier(fd, QSocketNotifier::Read, window_.get());
        QObject::connect(closeSignals_, &QSocketNotifier::activated, [this] { OnCloseSignal(); });
    }
    window_->show();
    events.OnLoaded();
}

void QtWindowing::OnCloseSignal() {
    closeSignals_->setEnabled(false);  // the request stands; once is enough
    closingBySignal_ = true;
    // A box that is open now is answered as its Escape key would answer it.
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        if (QAbstractButton* escape = box->escapeButton()) {
            escape->click();
        } else {
            box->reject();
        }
    }
    window_->close();
}

void QtWindowing::SetButtonEnabled(ButtonId id, bool enabled) {
    auto it = buttons_.find(id);
    if (it == buttons_.end()) {
        return;
    }
    if (!enabled && !disabled_) {
        disabled_ = true;
        focusBeforeDisabled_ = window_->focusWidget();
    } else if (enabled && disabled_) {
        // What the user did while the buttons were disabled still waits in the queue: it is
        // handled now, while they are, so that they drop it instead of taking it.
        disabled_ = false;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    it->second->setEnabled(enabled);
    if (enabled && it->second == focusBeforeDisabled_) {
        it->second->setFocus();
        focusBeforeDisabled_ = nullptr;
    }
}

void QtWindowing::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

int QtWindowing::ShowMessage(const std::string& text, int style) {
    const bool okCancel = (style & 0x0F) == mb::OKCancel;
    if (const int kind = style & 0xF0; kind != mb::IconQuestion && kind != mb::IconInformation) {
        errorShown_ = true;
    }
    if (closingBySignal_) {
        return okCancel ? kIdCancel : kIdOk;  // the window is on its way out
    }
    QString body = ToQt(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & 0xF0) {
        case mb::IconError:
            icon = QMessageBox::Critical;
            break;
        case mb::IconQuestion:
            icon = QMessageBox::Question;
            break;
        case mb::IconInformation:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    QMessageBox box(icon, QStringLiteral("QRX_PC_INFO"), body,
                    okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    window_.get());
    box.setDefaultButton(QMessageBox::Ok);
    if (okCancel) {
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    }
    box.setEscapeButton(okCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    // Only OK is OK: a box that ended any other way (closed by a signal) cancels.
    const int result = box.exec();
    return okCancel && result != QMessageBox::Ok ? kIdCancel : kIdOk;
}

void QtWindowing::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void QtWindowing::EndProgram() {
    if (window_) {
        window_->hide();
    }
    QCoreApplication::exit(0);
}

QWidget* QtWindowing::Window() const {
    return window_.get();
}

QPushButton* QtWindowing::Button(ButtonId id) const {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

}  // namespace qrx
