#include "platform/linux/TerminalWindowing.h"

#include "platform/Ascii.h"

#include <algorithm>
#include <istream>
#include <ostream>

namespace qrx {

namespace {

const char* IconWord(int style) {
    switch (style & 0xF0) {
        case mb::IconError:
            return " (エラー)";
        case mb::IconQuestion:
            return " (確認)";
        case mb::IconInformation:
            return " (情報)";
        default:
            return "";
    }
}

// CR LF inside a message is shown as a line break.
std::string Lines(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace

void TerminalWindowing::ShowMainWindow(const WindowLayout& layout, IWindowEvents& events) {
    caption_ = layout.caption;
    events_ = &events;
    std::vector<ButtonLayout> visible;
    std::copy_if(layout.buttons.begin(), layout.buttons.end(), std::back_inserter(visible),
                 [](const ButtonLayout& b) { return b.visible; });
    std::sort(visible.begin(), visible.end(), [](const ButtonLayout& a, const ButtonLayout& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    menu_.clear();
    for (const auto& b : visible) {
        menu_.push_back({b.id, b.caption, true});
    }
    events.OnLoaded();
    PrintMenu();
}

void TerminalWindowing::SetButtonEnabled(ButtonId id, bool enabled) {
    for (auto& e : menu_) {
        if (e.id == id) {
            e.enabled = enabled;
        }
    }
}

void TerminalWindowing::ProcessPendingEvents() {
    out_.flush();
    // A signal during a command: the logic keeps the close until the command has returned.
    if (CloseRequested() && !closeAsked_ && events_ != nullptr) {
        closeAsked_ = true;
        events_->OnCloseRequested();
    }
}

bool TerminalWindowing::RequestClose() {
    if (closeAsked_ || events_ == nullptr) {
        return true;
    }
    closeAsked_ = true;
    return events_->OnCloseRequested();
}

void TerminalWindowing::SetBusy(bool busy) {
    if (busy) {
        out_ << "情報を収集しています…" << std::endl;
    }
}

void TerminalWindowing::PrintMenu() {
    out_ << "\n" << caption_ << "\n";
    for (std::size_t i = 0; i < menu_.size(); ++i) {
        out_ << "  " << (i + 1) << ") " << menu_[i].caption
             << (menu_[i].enabled ? "" : " (使用できません)") << "\n";
    }
    out_ << "番号を入力してください (q: 閉じる)> " << std::flush;
}

bool TerminalWindowing::ReadLine(std::string& line) {
    line.clear();
    if (out_.bad()) {
        inputEnded_ = true;  // nobody can see the question any more
    }
    if (inputEnded_) {
        return false;
    }
    std::streambuf* buffer = in_.rdbuf();
    bool any = false;
    for (;;) {
        const auto c = buffer->sbumpc();
        if (std::char_traits<char>::eq_int_type(c, std::char_traits<char>::eof())) {
            inputEnded_ = true;
            if (!any) {
                endedUnanswered_ = !answered_;
                return false;
            }
            break;
        }
        any = true;
        if (c == '\n') {
            break;
        }
        if (line.size() < kMaxLine) {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    answered_ = true;
    return true;
}

int TerminalWindowing::ShowMessage(const std::string& text, int style) {
    const int icon = style & 0xF0;
    if (icon != mb::IconQuestion && icon != mb::IconInformation) {
        errorShown_ = true;
    }
    out_ << "\n[QRX_PC_INFO]" << IconWord(style) << "\n" << Lines(text) << "\n";
    const bool okCancel = (style & 0x0F) == mb::OKCancel;
    for (;;) {
        out_ << (okCancel ? "[Enter/o: OK, c: キャンセル]> " : "[Enter: OK]> ") << std::flush;
        std::string answer;
        if (!ReadLine(answer)) {
            out_ << "\n";
            return okCancel ? kIdCancel : kIdOk;
        }
        if (!okCancel) {
            return kIdOk;
        }
        answer = Lower(answer);
        if (answer.empty() || answer == "o" || answer == "ok") {
            return kIdOk;
        }
        if (answer == "c" || answer == "cancel") {
            return kIdCancel;
        }
    }
}

int TerminalWindowing::Run() {
    while (!ended_) {
        std::string choice;
        if (!ReadLine(choice) || Lower(choice) == "q") {
            out_ << "\n";
            if (RequestClose()) {
                break;
            }
            continue;  // the logic ends the program itself
        }
        const std::size_t n = choice.size() == 1 && choice[0] >= '1' && choice[0] <= '9'
                                  ? static_cast<std::size_t>(choice[0] - '0')
                                  : 0;
        if (n >= 1 && n <= menu_.size() && menu_[n - 1].enabled && events_ != nullptr) {
            events_->OnButtonClicked(menu_[n - 1].id);
        }
        if (ended_) {
            break;
        }
        // Input that ended inside a command (Ctrl-C or a signal at the confirmation, the end
        // of a script) closes the window without showing the menu again.
        if (inputEnded_ || CloseRequested()) {
            if (RequestClose()) {
                break;
            }
            continue;
        }
        PrintMenu();
    }
    out_.flush();
    return errorShown_ ? 1 : 0;
}

}  // namespace qrx
