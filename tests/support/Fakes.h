#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Crypto.h"
#include "platform/MemoryWmi.h"
#include "platform/System.h"
#include "platform/TextCodec.h"
#include "platform/Windowing.h"

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

std::string NameOf(ButtonId id);

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
struct MemoryFileSystem : IFileSystem {
    std::set<std::string> folders;
    std::set<std::string> readOnly;
    std::map<std::string, std::string> files;
    char separator = '/';
    int appends = 0;     // appends into writable folders so far
    int failAppend = 0;  // this append (counting from 1) fails

    void AddFolder(const std::string& path) { folders.insert(path); }
    bool CreateFolder(const std::string& path) override;
    bool AppendLine(const std::string& path, const std::string& line) override;
    std::vector<std::string> Lines(const std::string& path) const;
};

// A toy cipher with the CryptoAPI call contract: XOR with the key and the IV, PKCS#7 padding.
// It lets the engine's logic be tested on every platform without a real AES.
struct ToyCrypto : ICryptoProvider {
    std::vector<std::string> calls;
    std::map<Handle, Bytes> keys;
    std::map<Handle, Bytes> ivs;
    std::set<Handle> contexts;
    Handle next = 100;
    std::map<std::uint32_t, std::string> texts{{kNteBadData, "Bad Data.\r\n"}};

    std::uint32_t AcquireContext(Handle& prov, std::uint32_t type, std::uint32_t flags) override;
    std::uint32_t ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t len,
                            Handle& key) override;
    std::uint32_t SetKeyParam(Handle key, std::uint32_t param, const std::uint8_t* data) override;
    std::uint32_t Encrypt(Handle key, bool final, std::uint8_t* buffer, std::uint32_t& length,
                          std::uint32_t size) override;
    std::uint32_t Decrypt(Handle key, bool final, std::uint8_t* buffer,
                          std::uint32_t& length) override;
    std::uint32_t DestroyKey(Handle key) override;
    std::uint32_t ReleaseContext(Handle prov) override;
    std::string SystemMessage(std::uint32_t code, std::uint32_t) override;
};

// Wraps a provider and makes the n-th call (counting from 1, every call counts) of one kind
// fail with a chosen code. Records the calls that reach the wrapped provider.
struct FaultyCrypto : ICryptoProvider {
    enum class Call { Acquire, Import, SetParam, Encrypt, Decrypt, Destroy, Release };

    FaultyCrypto(ICryptoProvider& inner, Call call, int nth, std::uint32_t code)
        : inner(inner), failing(call), nth(nth), code(code) {}

    ICryptoProvider& inner;
    Call failing;
    int nth;
    std::uint32_t code;
    std::map<Call, int> counts;
    std::vector<std::string> log;
    std::size_t failedAt = 0;  // index in `log` of the call that failed

    bool Fails(Call c, const char* name);
    std::uint32_t AcquireContext(Handle& prov, std::uint32_t type, std::uint32_t flags) override;
    std::uint32_t ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t len,
                            Handle& key) override;
    std::uint32_t SetKeyParam(Handle key, std::uint32_t param, const std::uint8_t* data) override;
    std::uint32_t Encrypt(Handle key, bool final, std::uint8_t* buffer, std::uint32_t& length,
                          std::uint32_t size) override;
    std::uint32_t Decrypt(Handle key, bool final, std::uint8_t* buffer,
                          std::uint32_t& length) override;
    std::uint32_t DestroyKey(Handle key) override;
    std::uint32_t ReleaseContext(Handle prov) override;
    std::string SystemMessage(std::uint32_t c, std::uint32_t lang) override {
        return inner.SystemMessage(c, lang);
    }
};

// UTF-8 bytes as they are, the shared Base64 codec; either direction can be made to throw.
struct FakeCodec : ITextCodec {
    bool failToBytes = false;
    bool failToText = false;
    Bytes ToShiftJis(const std::string& text) override;
    std::string FromShiftJis(const Bytes& bytes) override;
    std::string Base64Encode(const Bytes& bytes) override;
    Bytes Base64Decode(const std::string& text) override;
};

// Classes held in memory on the shared in-memory instrumentation; records every query.
struct FakeWmi : MemoryWmi {
    std::vector<std::string> queries;

  protected:
    void Queried(const std::string& query) override { queries.push_back(query); }
};

}  // namespace qrx::test
