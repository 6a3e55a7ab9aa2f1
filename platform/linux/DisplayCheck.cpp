#include "platform/linux/DisplayCheck.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace qrx {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

bool WaylandReachable(const std::string& display, const std::string& runtimeDir) {
    if (display.empty()) {
        return false;
    }
    const std::string path = display[0] == '/' ? display : runtimeDir + "/" + display;
    sockaddr_un address{};
    if (runtimeDir.empty() && display[0] != '/') {
        return false;
    }
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

bool X11Reachable(const std::string& display) {
    if (display.empty()) {
        return false;
    }
    void* xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (xcb == nullptr) {
        return false;
    }
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool ok = false;
    if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
        void* connection = connect(display.c_str(), nullptr);
        ok = connection != nullptr && hasError(connection) == 0;
        disconnect(connection);
    }
    dlclose(xcb);
    return ok;
}

bool KeepReachableDisplays() {
    bool any = false;
    if (const std::string wayland = Environment("WAYLAND_DISPLAY"); !wayland.empty()) {
        if (WaylandReachable(wayland, Environment("XDG_RUNTIME_DIR"))) {
            any = true;
        } else {
            unsetenv("WAYLAND_DISPLAY");
        }
    }
    if (const std::string x11 = Environment("DISPLAY"); !x11.empty()) {
        if (X11Reachable(x11)) {
            any = true;
        } else {
            unsetenv("DISPLAY");
        }
    }
    return any;
}

}  // namespace qrx
