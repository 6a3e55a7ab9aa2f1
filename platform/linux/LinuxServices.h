#pragma once

#include "platform/Services.h"
#include "platform/linux/IconvCodec.h"
#include "platform/linux/LinuxSystem.h"
#include "platform/linux/MbedTlsCrypto.h"
#include "platform/linux/SysfsWmi.h"

namespace qrx {

// The Linux backends of every service but the window, wired in one place for the program and
// the benchmark.
struct LinuxServices {
    // `argv0` is the program's own argv[0] (see LinuxAppInfo).
    // `codeset` is the locale's (see LinuxAppInfo).
    explicit LinuxServices(const char* argv0 = nullptr, const std::string& codeset = "")
        : app(argv0, codeset) {
        files.NamePathsWith([this](const std::string& path) { return app.NativePath(path); });
        // Opened once: a folder swapped for a link while the program waits at its menu changes
        // nothing of where its files go.
        files.Anchor(app.NativeFolder());
    }
    LinuxServices(const LinuxServices&) = delete;
    LinuxServices& operator=(const LinuxServices&) = delete;

    LinuxAppInfo app;
    LinuxClock clock;
    PosixFileSystem files;
    MbedTlsCrypto crypto;
    IconvCodec codec;
    SysfsWmi wmi;

    Services With(IWindowing& window) { return With(window, app, wmi); }
    // With another application folder and another instrumentation (a fixture tree).
    Services With(IWindowing& window, IAppInfo& appInstead, IWmiProvider& wmiInstead) {
        return {window, appInstead, clock, files, crypto, codec, wmiInstead};
    }
};

}  // namespace qrx
