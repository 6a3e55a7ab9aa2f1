#include "platform/windows/Win32Window.h"

#include <algorithm>
#include <vector>

#include "platform/windows/WinText.h"

namespace qrx {

namespace {

constexpr wchar_t kClassName[] = L"QRX_PC_INFO_frmMain";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;  // fixed border, no min/max
constexpr int kFirstButtonId = 100;
constexpr UINT kWmDpiChanged = 0x02E0;

// Functions of newer systems, looked up so that the program still starts on Windows 7.
template <typename F>
F Lookup(const wchar_t* module, const char* name) {
    HMODULE m = GetModuleHandleW(module);
    if (m == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
}

UINT DpiOf(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    if (auto f = Lookup<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow"); f != nullptr) {
        if (const UINT dpi = f(hwnd); dpi != 0) {
            return dpi;
        }
    }
    HDC dc = GetDC(hwnd);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(hwnd, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

RECT WindowRectFor(int width, int height, UINT dpi) {
    RECT r{0, 0, width, height};
    using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (auto f = Lookup<AdjustFn>(L"user32.dll", "AdjustWindowRectExForDpi"); f != nullptr) {
        f(&r, kStyle, FALSE, 0, dpi);
    } else {
        AdjustWindowRectEx(&r, kStyle, FALSE, 0);
    }
    return r;
}

}  // namespace

Win32Window::Win32Window(HINSTANCE instance) : instance_(instance) {
    // The small icon is made from the same image at the small size, not shrunk from the large
    // handle by whoever draws it.
    smallIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Window::Proc;
    wc.hInstance = instance_;
    wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
    wc.hIconSm = smallIcon_;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (RegisterClassExW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        startError_ = GetLastError();
    }
}

Win32Window::~Win32Window() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    // The class holds the small icon: it goes first (it stays while another window uses it).
    if (UnregisterClassW(kClassName, instance_) && smallIcon_ != nullptr) {
        DestroyIcon(smallIcon_);
    }
}

HWND Win32Window::Button(ButtonId id) const {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

void Win32Window::ShowMainWindow(const WindowLayout& layout, IWindowEvents& events) {
    if (startError_ != 0) {
        return;
    }
    layout_ = layout;
    events_ = &events;
    hwnd_ = CreateWindowExW(0, kClassName, Widen(layout.caption).c_str(), kStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance_, this);
    if (hwnd_ == nullptr) {
        startError_ = GetLastError() != 0 ? GetLastError() : ERROR_INVALID_WINDOW_HANDLE;
        return;
    }

    // Children are created in tab order: that order is what Tab follows.
    std::vector<ButtonLayout> byTab(layout.buttons);
    std::sort(byTab.begin(), byTab.end(),
              [](const ButtonLayout& a, const ButtonLayout& b) { return a.tabIndex < b.tabIndex; });
    for (const auto& b : byTab) {
        const DWORD style = WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON | (b.visible ? WS_VISIBLE : 0);
        buttons_[b.id] = CreateWindowExW(
            0, L"BUTTON", Widen(b.caption).c_str(), style, 0, 0, 0, 0, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + static_cast<int>(b.id))),
            instance_, nullptr);
    }
    dpi_ = DpiOf(hwnd_);
    SizeWindow();
    PlaceButtons();

    // Centred on the work area of the monitor the window opens on.
    RECT frame{};
    GetWindowRect(hwnd_, &frame);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &mi);
    const int w = frame.right - frame.left;
    const int h = frame.bottom - frame.top;
    SetWindowPos(hwnd_, nullptr, mi.rcWork.left + (mi.rcWork.right - mi.rcWork.left - w) / 2,
                 mi.rcWork.top + (mi.rcWork.bottom - mi.rcWork.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    // The first visible button of the tab order starts with the focus.
    for (const auto& b : byTab) {
        if (b.visible) {
            focus_ = Button(b.id);
            break;
        }
    }
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    RestoreFocus();
    events.OnLoaded();
}

void Win32Window::SizeWindow() {
    const RECT r = WindowRectFor(Pixels(layout_.clientWidth), Pixels(layout_.clientHeight), dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::PlaceButtons() {
    // The system's message font, scaled for this window's DPI.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HDC screen = GetDC(nullptr);
    const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi_),
                                            systemDpi > 0 ? systemDpi : 96);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);

    for (const auto& b : layout_.buttons) {
        HWND button = Button(b.id);
        MoveWindow(button, Pixels(b.left), Pixels(b.top), Pixels(b.width), Pixels(b.height), TRUE);
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    font_ = font;
}

void Win32Window::DiscardWaitingInput() {
    // Input is assigned to a window when it is taken off the queue: a click made on a disabled
    // button would otherwise reach it once it is enabled. Keyboard messages go too (Enter and
    // Space press buttons); the caption bar's messages and the system keys (Alt+F4) stay.
    MSG msg;
    while (PeekMessageW(&msg, hwnd_, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    while (PeekMessageW(&msg, hwnd_, WM_KEYDOWN, WM_DEADCHAR, PM_REMOVE)) {
    }
}

void Win32Window::RememberFocus() {
    HWND focus = GetFocus();
    if (focus != nullptr && hwnd_ != nullptr && GetParent(focus) == hwnd_) {
        focus_ = focus;
    }
}

void Win32Window::RestoreFocus() {
    if (focus_ != nullptr && IsWindowEnabled(focus_) && IsWindowVisible(focus_) &&
        GetActiveWindow() == hwnd_) {
        SetFocus(focus_);
    }
}

void Win32Window::SetButtonEnabled(ButtonId id, bool enabled) {
    HWND button = Button(id);
    if (button == nullptr) {
        return;
    }
    if (!enabled) {
        // Disabling the focused button leaves the focus nowhere; it comes back afterwards.
        if (GetFocus() == button) {
            focus_ = button;
        }
        EnableWindow(button, FALSE);
        return;
    }
    if (!IsWindowEnabled(button)) {
        DiscardWaitingInput();
    }
    EnableWindow(button, TRUE);
    if (button == focus_) {
        RestoreFocus();
    }
}

void Win32Window::Dispatch(MSG& msg) {
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg)) {
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void Win32Window::ProcessPendingEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        Dispatch(msg);
    }
}

int Win32Window::ShowMessage(const std::string& text, int style) {
    // Once the window is gone no box is shown, and nothing counts as confirmed: only OK is OK
    // (a box that could not be shown returns 0).
    if (destroyed_) {
        return kIdCancel;
    }
    const int result =
        MessageBoxW(hwnd_, Widen(text).c_str(), L"QRX_PC_INFO", static_cast<UINT>(style));
    return result == IDOK ? kIdOk : kIdCancel;
}

void Win32Window::SetBusy(bool busy) {
    busy_ = busy;
    SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void Win32Window::EndProgram() {
    // No close request: the window simply goes, and the loop ends with it.
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

int Win32Window::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        Dispatch(msg);
    }
    return static_cast<int>(msg.wParam);
}

LRESULT CALLBACK Win32Window::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        reinterpret_cast<Win32Window*>(create->lpCreateParams)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self != nullptr ? self->Handle(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

void Win32Window::OnButtonCommand(WPARAM wp) {
    const int id = LOWORD(wp) - kFirstButtonId;
    if (HIWORD(wp) != BN_CLICKED || id < 0 || events_ == nullptr) {
        return;
    }
    // The buttons are those of the layout. A notification or posted command for a button that
    // is not there, or is disabled now, is dropped: disabled buttons ignore clicks.
    HWND button = Button(static_cast<ButtonId>(id));
    if (button == nullptr || !IsWindowEnabled(button)) {
        return;
    }
    // A click sent from another thread or process is answered before the command starts: while
    // the sender waits, the apartment refuses the outgoing COM calls of the collection.
    if (InSendMessage()) {
        ReplyMessage(0);
    }
    events_->OnButtonClicked(static_cast<ButtonId>(id));
}

LRESULT Win32Window::Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            OnButtonCommand(wp);
            return 0;
        case WM_SETCURSOR:
            if (busy_) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(wp) == WA_INACTIVE) {
                RememberFocus();
            }
            break;  // activation sets the focus to the window, and WM_SETFOCUS passes it on
        case WM_SETFOCUS:
            RestoreFocus();
            return 0;
        case WM_CLOSE:
            // The close request is never refused; while a command is in flight the form keeps it
            // and ends the program once the command has returned.
            if (events_ == nullptr || events_->OnCloseRequested()) {
                DestroyWindow(hwnd);
            }
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // The session ends: the process may be ended as soon as this returns, so the closing
            // trace line is written now, also while a command is in flight.
            if (wp != FALSE && events_ != nullptr) {
                events_->OnSessionEnding();
                if (events_->OnCloseRequested()) {
                    DestroyWindow(hwnd);
                }
            }
            return 0;
        case WM_DESTROY:
            hwnd_ = nullptr;
            destroyed_ = true;
            PostQuitMessage(0);
            return 0;
        case kWmDpiChanged: {
            // The new DPI comes with the message; the suggested rectangle keeps the window where
            // the user put it and gives it the size for that DPI, in one move.
            dpi_ = LOWORD(wp);
            PlaceButtons();
            const auto* suggested = reinterpret_cast<const RECT*>(lp);
            SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace qrx
