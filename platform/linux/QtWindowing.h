#pragma once

#include <map>
#include <memory>

#include "platform/Windowing.h"

class QPushButton;
class QSocketNotifier;
class QWidget;

namespace qrx {

class QtMainWidget;

// The main window as a Qt Widgets window. A QApplication must exist before it is used.
//
// The input that waits for the window while its buttons are disabled is handled before they are
// enabled again, so the disabled buttons drop it: a click made during a command never reaches
// a button afterwards. The button that had the focus gets it back. SIGTERM, SIGHUP and
// SIGINT close the window as its close box does; a message box asked for after such a signal
// is not shown (OK/Cancel answers Cancel).
class QtWindowing : public IWindowing {
  public:
    QtWindowing();
    ~QtWindowing() override;

    void ShowMainWindow(const WindowLayout& layout, IWindowEvents& events) override;
    void SetButtonEnabled(ButtonId id, bool enabled) override;
    void ProcessPendingEvents() override;
    int ShowMessage(const std::string& text, int style) override;
    void SetBusy(bool busy) override;
    void EndProgram() override;

    // The program's exit status once the event loop has returned `loopStatus`: as on the
    // terminal, 1 when an error box was shown.
    int ExitStatus(int loopStatus) const {
        return loopStatus != 0 ? loopStatus : errorShown_ ? 1 : 0;
    }

    QWidget* Window() const;
    QPushButton* Button(ButtonId id) const;

  private:
    void OnCloseSignal();

    std::unique_ptr<QtMainWidget> window_;
    std::map<ButtonId, QPushButton*> buttons_;
    bool busy_ = false;
    bool disabled_ = false;  // buttons were disabled and are not enabled again yet
    QWidget* focusBeforeDisabled_ = nullptr;
    QSocketNotifier* closeSignals_ = nullptr;  // owned by the window
    bool closingBySignal_ = false;
    bool errorShown_ = false;
};

// Twips to device-independent pixels at 96 DPI; Qt scales further for higher densities.
int TwipsToPixels(int twips);

}  // namespace qrx
