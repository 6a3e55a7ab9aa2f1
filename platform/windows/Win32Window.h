#pragma once

#include <windows.h>

#include <map>

#include "platform/Windowing.h"

namespace qrx {

// The main window as a native Win32 window with BUTTON children; message boxes are MessageBoxW
// owned by it.
class Win32Window : public IWindowing {
  public:
    explicit Win32Window(HINSTANCE instance);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    void ShowMainWindow(const WindowLayout& layout, IWindowEvents& events) override;
    void SetButtonEnabled(ButtonId id, bool enabled) override;
    void ProcessPendingEvents() override;
    int ShowMessage(const std::string& text, int style) override;
    void SetBusy(bool busy) override;
    void EndProgram() override;

    // The message loop; returns when the window is gone.
    int Run();

    // The system error code of a window class or window that could not be created; 0 when the
    // window opened.
    DWORD StartError() const { return startError_; }

    HWND Handle() const { return hwnd_; }
    HWND Button(ButtonId id) const;
    UINT Dpi() const { return dpi_; }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void OnButtonCommand(WPARAM wp);
    // Sizes the window for the client area at the current DPI.
    void SizeWindow();
    // Places the buttons and sets their font for the current DPI.
    void PlaceButtons();
    int Pixels(int twips) const { return MulDiv(twips, static_cast<int>(dpi_), 1440); }
    void Dispatch(MSG& msg);
    // Throws away the mouse and keyboard input that waits for the client area.
    void DiscardWaitingInput();
    void RememberFocus();
    void RestoreFocus();

    HINSTANCE instance_;
    DWORD startError_ = 0;
    HWND hwnd_ = nullptr;
    bool destroyed_ = false;
    HFONT font_ = nullptr;
    HICON smallIcon_ = nullptr;
    UINT dpi_ = 96;
    WindowLayout layout_;
    IWindowEvents* events_ = nullptr;
    std::map<ButtonId, HWND> buttons_;
    HWND focus_ = nullptr;  // the button that has, or last had, the keyboard focus
    bool busy_ = false;
};

}  // namespace qrx
