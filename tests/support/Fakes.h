#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/MemoryWmi.h"
#include "platform/System.h"
#include "platform/TextCodec.h"
#include "platform/Windowing.h"
#include "tests/support/FakeCrypto.h"

namespace qrx::test {

// Records every windowing call; message boxes answer from a queue (OK when it is empty).
struct FakeWindow : IWindowing {
    struct Message {
        std::string text;
        int style;
        bool busy;  // whether the wait cursor was still shown
    };
    std::vector<std::string> calls;
    std::vector<Message> messages;
    std::deque<int> answers;
    std::map<ButtonId, bool> enabled;
    WindowLayout layout;
    IWindowEvents* events = nullptr;
    bool busy = false;
    bool ended = false;
    std::function<void()> onProcessEvents;
    std::function<void()> onMessage;  // called as each box is shown

    void ShowMainWindow(const WindowLayout& s, IWindowEvents& e) override;
    void SetButtonEnabled(ButtonId id, bool on) override;
    void ProcessPendingEvents() override;
    int ShowMessage(const std::string& text, int style) override;
    void SetBusy(bool on) override { busy = on; }
    void EndProgram() override {
        ended = true;
        calls.push_back("end");
    }
};

// The button's name in the layout ("cmdRun").
std::string NameOf(ButtonId id);

// Records the window's notifications: "loaded", "close" (always allowed) and button names.
struct EventRecorder : IWindowEvents {
    std::vector<std::string> events;
    void OnLoaded() override { events.push_back("loaded"); }
    bool OnCloseRequested() override {
        events.push_back("close");
        return true;
    }
    void OnButtonClicked(ButtonId id) override { events.push_back(NameOf(id)); }
};

struct FakeAppInfo : IAppInfo {
    std::string folder = "/opt/qrx";
    std::string name = "QRX_PC_INFO";
    std::uint32_t number = 4242;
    char separator = '/';
    std::string ExeFolder() override { return folder; }
    std::string ExeName() override { return name; }
    std::uint32_t ProgramNumber() override { return number; }
    char PathSeparator() override { return separator; }
};

struct FakeClock : IClock {
    LocalDateTime now{2026, 12, 6, 9, 5, 7};
    int reads = 0;
    LocalDateTime Now() override {
        ++reads;
        return now;
    }
};

// Folders and files in memory. The application folder must be made known with AddFolder;
// a line can only be appended inside a known folder, and `readOnly` folders refuse both.
// `foreign` folders belong to another user.
struct MemoryFileSystem : IFileSystem {
    std::set<std::string> folders;
    std::set<std::string> readOnly;
    std::set<std::string> foreign;
    std::map<std::string, std::string> files;
    char separator = '/';
    int appends = 0;     // appends into writable folders so far
    int failAppend = 0;  // this append (counting from 1) fails
    std::string locked;  // the file whose lock is held now
    int appendsToLocked = 0;

    std::unique_ptr<IFileLock> LockFile(const std::string& path) override;

    void AddFolder(const std::string& path) { folders.insert(path); }
    bool CreateFolder(const std::string& path) override;
    bool AppendLine(const std::string& path, const std::string& line) override;
    bool IsOwnFolder(const std::string& path) override {
        return folders.contains(path) && !foreign.contains(path);
    }
    std::vector<std::string> Lines(const std::string& path) const;
};

// UTF-8 bytes as they are; either direction can be made to throw.
struct FakeCodec : ITextCodec {
    bool failToBytes = false;
    bool failToText = false;
    Bytes ToShiftJis(const std::string& text) override;
    std::string FromShiftJis(const Bytes& bytes) override;
};

// Classes held in memory on the shared in-memory instrumentation; records every query.
struct FakeWmi : MemoryWmi {
    std::vector<std::string> queries;

  protected:
    void Queried(const std::string& query) override { queries.push_back(query); }
};

}  // namespace qrx::test
