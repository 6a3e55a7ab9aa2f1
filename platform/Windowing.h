#pragma once

#include <string>
#include <vector>

namespace qrx {

// The seven command buttons of the main window.
enum class ButtonId { cmdRun, cmdEnd, cmdNIC, cmdCPU, cmdOS, cmdMB, cmdUUID };

struct ButtonLayout {
    ButtonId id;
    std::string name;              // "cmdRun"
    std::string caption;           // UTF-8
    int left, top, width, height;  // twips, relative to the client area
    int tabIndex;
    bool visible;
};

struct WindowLayout {
    std::string caption;
    int clientWidth, clientHeight;  // twips
    std::vector<ButtonLayout> buttons;
};

// Message box styles, the platform's values.
namespace mb {
constexpr int OK = 0;
constexpr int OKCancel = 1;
constexpr int IconError = 16;
constexpr int IconQuestion = 32;
constexpr int IconInformation = 64;
}  // namespace mb

// Message box results.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// Notifications from the window, delivered on the user-interface thread.
class IWindowEvents {
  public:
    virtual ~IWindowEvents() = default;
    virtual void OnLoaded() = 0;
    // The window is asked to close. True: close it now. False: a command is in flight; the
    // close is kept and carried out (closing trace line, end of the program) once it returns.
    virtual bool OnCloseRequested() = 0;
    // The user's session ends (log off, shutdown): the process may be ended at any moment now,
    // also while a command is in flight. A close request follows.
    virtual void OnSessionEnding() {}
    virtual void OnButtonClicked(ButtonId id) = 0;
};

class IWindowing {
  public:
    virtual ~IWindowing() = default;
    // Opens the main window without blocking; the notifications go to `events`.
    virtual void ShowMainWindow(const WindowLayout& layout, IWindowEvents& events) = 0;
    virtual void SetButtonEnabled(ButtonId id, bool enabled) = 0;
    // Handles the events that are waiting (repaints first of all) once, then returns.
    virtual void ProcessPendingEvents() = 0;
    // Modal; the title is always the program name. Returns kIdOk or kIdCancel.
    virtual int ShowMessage(const std::string& text, int style) = 0;
    // Shows or takes away the platform's wait cursor while the program collects.
    virtual void SetBusy(bool busy) = 0;
    // Ends the program at once, without a close request.
    virtual void EndProgram() = 0;
};

}  // namespace qrx
