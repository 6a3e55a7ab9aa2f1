#include "platform/windows/Win32Window.h"

#include <algorithm>
#include <vector>

#include "platform/windows/WinText.h"

namespace qrx {

namespace {

constexpr wchar_t kClassName[] = L"QRX_PC_INFO_frmMain";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;  // fixed border, no min/max
constexpr int kFirstButtonId = 100;

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
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32Window::Proc;
    wc.hInstance = instance_;
    wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
}

Win32Window::~Win32Window() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
}

HWND Win32Window::Button(ButtonId id) const {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

void Win32Window::ShowMainWindow(const WindowLayout& layout, IWindowEvents& events) {
    layout_ = layout;
    events_ = &events;
    hwnd_ = CreateWindowExW(0, kClassName, Widen(layout.caption).c_str(), kStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance_, this);

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
    Layout();

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
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    if (HWND first = Button(ButtonId::cmdEnd); first != nullptr) {
        SetFocus(first);
    }
    events.OnLoaded();
}

void Win32Window::Layout() {
    dpi_ = DpiOf(hwnd_);
    const RECT r = WindowRectFor(Pixels(layout_.clientWidth), Pixels(layout_.clientHeight), dpi_);
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER);

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

void Win32Window::SetButtonEnabled(ButtonId id, bool enabled) {
    if (HWND button = Button(id); button != nullptr) {
        EnableWindow(button, enabled ? TRUE : FALSE);
    }
}

bool Win32Window::Dispatch(MSG& msg) {
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg)) {
        return true;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
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
    const int result =
        MessageBoxW(hwnd_, Widen(text).c_str(), L"QRX_PC_INFO", static_cast<UINT>(style));
    return result == IDCANCEL ? kIdCancel : kIdOk;
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
    return self != nullptr ? self->Handle(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Win32Window::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND: {
            const int id = LOWORD(wp) - kFirstButtonId;
            if (HIWORD(wp) == BN_CLICKED && id >= 0 && id <= static_cast<int>(ButtonId::cmdUUID) &&
                events_ != nullptr) {
                events_->OnButtonClicked(static_cast<ButtonId>(id));
            }
            return 0;
        }
        case WM_SETCURSOR:
            if (busy_) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                return TRUE;
            }
            break;
        case WM_CLOSE:
            // The close request is never refused; while a command is in flight the form keeps it
            // and ends the program once the command has returned.
            if (events_ == nullptr || events_->OnCloseRequested()) {
                DestroyWindow(hwnd_);
            }
            return 0;
        case WM_DESTROY:
            hwnd_ = nullptr;
            PostQuitMessage(0);
            return 0;
        case 0x02E0: {  // WM_DPICHANGED
            Layout();
            const auto* suggested = reinterpret_cast<const RECT*>(lp);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace qrx
