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

    HWND Handle() const { return hwnd_; }
    HWND Button(ButtonId id) const;
    UINT Dpi() const { return dpi_; }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void Layout();
    int Pixels(int twips) const { return MulDiv(twips, static_cast<int>(dpi_), 1440); }
    bool Dispatch(MSG& msg);

    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    WindowLayout layout_;
    IWindowEvents* events_ = nullptr;
    std::map<ButtonId, HWND> buttons_;
    bool busy_ = false;
};

}  // namespace qrx
