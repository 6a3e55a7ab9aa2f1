#include "tests/support/Fakes.h"

#include "app/frmMain.h"
#include "platform/AppError.h"

namespace qrx::test {

std::string NameOf(ButtonId id) {
    for (const auto& button : frmMain::Layout().buttons) {
        if (button.id == id) {
            return button.name;
        }
    }
    return "?";
}

void FakeWindow::ShowMainWindow(const WindowLayout& s, IWindowEvents& e) {
    layout = s;
    events = &e;
    calls.push_back("show");
    for (const auto& b : s.buttons) {
        enabled[b.id] = true;
    }
    e.OnLoaded();
}

void FakeWindow::SetButtonEnabled(ButtonId id, bool on) {
    enabled[id] = on;
    calls.push_back(NameOf(id) + (on ? "+" : "-"));
}

void FakeWindow::ProcessPendingEvents() {
    calls.push_back("process");
    if (onProcessEvents) {
        onProcessEvents();
    }
}

int FakeWindow::ShowMessage(const std::string& text, int style) {
    messages.push_back({text, style, busy});
    if (onMessage) {
        onMessage();
    }
    calls.push_back("message " + std::to_string(style));
    if (answers.empty()) {
        return kIdOk;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool MemoryFileSystem::CreateFolder(const std::string& path) {
    const std::string parent = path.substr(0, path.rfind(separator));
    if (folders.contains(path) || !folders.contains(parent) || readOnly.contains(parent)) {
        return false;
    }
    folders.insert(path);
    return true;
}

std::unique_ptr<IFileLock> MemoryFileSystem::LockFile(const std::string& path) {
    struct Lock : IFileLock {
        std::string& held;
        Lock(std::string& h, const std::string& path) : held(h) { held = path; }
        ~Lock() override { held.clear(); }
    };
    return std::make_unique<Lock>(locked, path);
}

bool MemoryFileSystem::AppendLine(const std::string& path, const std::string& line) {
    const std::string parent = path.substr(0, path.rfind(separator));
    if (!folders.contains(parent) || readOnly.contains(parent) || ++appends == failAppend) {
        return false;
    }
    if (path == locked) {
        ++appendsToLocked;
    }
    files[path] += line + "\r\n";
    return true;
}

std::vector<std::string> MemoryFileSystem::Lines(const std::string& path) const {
    std::vector<std::string> lines;
    auto it = files.find(path);
    if (it == files.end()) {
        return lines;
    }
    const std::string& text = it->second;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// ---- FakeCodec -----------------------------------------------------------------------------

Bytes FakeCodec::ToShiftJis(const std::string& text) {
    if (failToBytes) {
        throw AppError(3004, "ADODB.Stream", "書き込みに失敗しました。");
    }
    return Bytes(text.begin(), text.end());
}

std::string FakeCodec::FromShiftJis(const Bytes& bytes) {
    if (failToText) {
        throw AppError(3001, "ADODB.Stream", "引数が無効です。");
    }
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace qrx::test
