#pragma once

#include <map>
#include <memory>

#include "platform/Windowing.h"

class QPushButton;
class QWidget;

namespace qrx {

class QtMainWidget;

// The main window as a Qt Widgets window. A QApplication must exist before it is used.
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

    QWidget* Window() const;
    QPushButton* Button(ButtonId id) const;

  private:
    std::unique_ptr<QtMainWidget> window_;
    std::map<ButtonId, QPushButton*> buttons_;
    bool busy_ = false;
};

// Twips to device-independent pixels at 96 DPI; Qt scales further for higher densities.
int TwipsToPixels(int twips);

}  // namespace qrx
