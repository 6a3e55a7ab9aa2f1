#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/Windowing.h"

namespace qrx {

// The main window on a terminal: the visible buttons as a numbered menu, message boxes as text
// with a one-line answer. Reads and writes UTF-8; works with pipes as well as with a person.
class TerminalWindowing : public IWindowing {
  public:
    TerminalWindowing(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

    void ShowMainWindow(const WindowLayout& layout, IWindowEvents& events) override;
    void SetButtonEnabled(ButtonId id, bool enabled) override;
    void ProcessPendingEvents() override;
    int ShowMessage(const std::string& text, int style) override;
    void SetBusy(bool busy) override;
    void EndProgram() override { ended_ = true; }

    // Reads choices until the window is closed or the program ends. End of input (and an
    // interrupted read, as after Ctrl-C) is the close request.
    int Run();

  private:
    struct Entry {
        ButtonId id;
        std::string caption;
        bool enabled = true;
    };

    void PrintMenu();
    bool ReadLine(std::string& line);

    std::istream& in_;
    std::ostream& out_;
    std::string caption_;
    std::vector<Entry> menu_;
    IWindowEvents* events_ = nullptr;
    bool ended_ = false;
};

}  // namespace qrx
