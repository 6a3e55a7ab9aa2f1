#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/Program.h"
#include "tests/support/Fakes.h"

namespace qrx::test {

// Where the program over fakes (FakeAppInfo's folder, FakeClock's time) keeps its trace log.
inline const std::string kFakeLogPath = "/opt/qrx/INFO_LOG/202612/PC_INFO_261206.LOG";

// The trace log's messages in `files`, without the "hh:mm:ss QRX_PC_INFO[4242] " before each.
inline std::vector<std::string> FakeLogMessages(const MemoryFileSystem& files) {
    std::vector<std::string> out;
    for (const auto& line : files.Lines(kFakeLogPath)) {
        out.push_back(line.substr(std::string("09:05:07 QRX_PC_INFO[4242] ").size()));
    }
    return out;
}

// The records of every data file in `files`, decrypted.
inline std::vector<std::string> FakeRecords(const MemoryFileSystem& files, ICryptoProvider& crypto,
                                            ITextCodec& codec) {
    FakeWindow window;
    clsCipher cipher(crypto, codec, window);
    std::vector<std::string> out;
    for (const auto& [path, content] : files.files) {
        if (path.ends_with(".dat")) {
            for (const auto& line : files.Lines(path)) {
                out.push_back(cipher.gfEncryptDecrypt(line, 1));
            }
        }
    }
    return out;
}

// Every class of the run's plan served by `wmi` as one instance whose properties all read "v".
inline void ServeEveryPlanClass(FakeWmi& wmi) {
    for (const auto& step : Collector::RunPlan()) {
        FakeWmi::Instance instance;
        for (const auto& p : step.properties) {
            instance[p] = Variant::Text("v");
        }
        wmi.classes[step.className] = {instance};
    }
}

// The whole program over fakes and the window `Window`, with its application folder known to
// the file system.
template <class Window>
struct HarnessOver {
    Window window;
    FakeAppInfo app;
    FakeClock clock;
    MemoryFileSystem files;
    ToyCrypto crypto;
    FakeCodec codec;
    FakeWmi wmi;
    std::unique_ptr<Program> program;

    HarnessOver() {
        files.AddFolder(app.folder);
        program =
            std::make_unique<Program>(Services{window, app, clock, files, crypto, codec, wmi});
    }

    std::string LogPath() const { return kFakeLogPath; }
    std::vector<std::string> LogLines() const { return files.Lines(LogPath()); }
    // The log lines without the "hh:mm:ss QRX_PC_INFO[4242] " before each message.
    std::vector<std::string> LogMessages() const { return FakeLogMessages(files); }
    // The data file's lines decrypted back to record texts.
    std::vector<std::string> Records(const std::string& path) {
        std::vector<std::string> out;
        clsCipher cipher(crypto, codec, window);
        for (const auto& line : files.Lines(path)) {
            out.push_back(cipher.gfEncryptDecrypt(line, 1));
        }
        return out;
    }
};
using Harness = HarnessOver<FakeWindow>;

}  // namespace qrx::test
