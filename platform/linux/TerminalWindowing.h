#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Windowing.h"

namespace qrx {

// The main window on a terminal: the visible buttons as a numbered menu, message boxes as text
// with a one-line answer. Reads and writes UTF-8; works with pipes as well as with a person.
class TerminalWindowing : public IWindowing {
  public:
    // The longest answer line kept; the rest of a longer line is read and thrown away.
    static constexpr std::size_t kMaxLine = 4096;

    // `closeRequested` tells whether a close request (a signal) has arrived; the input then
    // ends as well, so that no read waits for the user.
    TerminalWindowing(std::istream& in, std::ostream& out,
                      std::function<bool()> closeRequested = nullptr)
        : in_(in), out_(out), closeRequested_(std::move(closeRequested)) {}

    void ShowMainWindow(const WindowLayout& layout, IWindowEvents& events) override;
    void SetButtonEnabled(ButtonId id, bool enabled) override;
    void ProcessPendingEvents() override;
    int ShowMessage(const std::string& text, int style) override;
    void SetBusy(bool busy) override;
    void EndProgram() override { ended_ = true; }

    // Reads choices until the window is closed or the program ends. End of input, a close
    // request and a failed write to the output (the terminal went away) end it; a close that
    // arrives during a command is carried out once the command has returned. The result is the exit
    // status: 1 when an error was shown, else 0.
    int Run();
    // True when the input ended before any answer was read (a file manager's /dev/null).
    bool EndedUnanswered() const { return endedUnanswered_; }

  private:
    struct Entry {
        ButtonId id;
        std::string caption;
        bool enabled = true;
    };

    void PrintMenu();
    bool ReadLine(std::string& line);
    // Passes a close request on to the window's logic once; true when the window may close.
    bool RequestClose();
    // A signal asked for the close, or the terminal went away: a write to it failed.
    bool CloseRequested() const { return out_.bad() || (closeRequested_ && closeRequested_()); }

    std::istream& in_;
    std::ostream& out_;
    std::string caption_;
    std::vector<Entry> menu_;
    std::function<bool()> closeRequested_;
    IWindowEvents* events_ = nullptr;
    bool ended_ = false;
    bool inputEnded_ = false;
    bool closeAsked_ = false;
    bool errorShown_ = false;
    bool answered_ = false;
    bool endedUnanswered_ = false;
};

}  // namespace qrx
