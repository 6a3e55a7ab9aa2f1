#include "platform/linux/QtPlatformChoice.h"

#include <unistd.h>

namespace qrx {

namespace {

bool HasPlugin(const std::vector<std::string>& dirs, const char* file) {
    for (const auto& dir : dirs) {
        if (access((dir + "/" + file).c_str(), R_OK) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

Result<std::string> ChooseQtPlatforms(const std::string& waylandDisplay,
                                      const std::string& x11Display,
                                      const std::vector<std::string>& pluginDirs) {
    std::string platforms;
    std::string missing;
    if (!waylandDisplay.empty()) {
        if (HasPlugin(pluginDirs, "libqwayland-egl.so") ||
            HasPlugin(pluginDirs, "libqwayland-generic.so")) {
            platforms = "wayland";
        } else {
            missing = "Qt's Wayland plugin is not installed (package qt6-wayland)";
        }
    }
    if (!x11Display.empty()) {
        if (HasPlugin(pluginDirs, "libqxcb.so")) {
            platforms += platforms.empty() ? "xcb" : ";xcb";
        } else {
            missing += (missing.empty() ? "" : "; ") +
                       std::string("Qt's X11 plugin is not installed (package libqt6gui6)");
        }
    }
    if (platforms.empty()) {
        return Failure{FailureKind::Unsupported, missing.empty() ? "no display" : missing, {}};
    }
    return platforms;
}

}  // namespace qrx
