#include "platform/linux/DisplayCheck.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/linux/Eintr.h"

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
    bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (ok) {
        // wl_display (object 1) request 0, "sync", with the new callback object 2: a
        // compositor answers with the callback's "done" event.
        const std::uint32_t sync[3] = {1, 12u << 16, 2};
        std::uint32_t answer[2] = {};
        ok = send(fd, sync, sizeof sync, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof sync) &&
             recv(fd, answer, sizeof answer, MSG_WAITALL) == static_cast<ssize_t>(sizeof answer);
    }
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

bool KeepReachableDisplays(std::string& reason, std::chrono::milliseconds timeout) {
    const std::string wayland = Environment("WAYLAND_DISPLAY");
    const std::string x11 = Environment("DISPLAY");
    if (wayland.empty() && x11.empty()) {
        return false;
    }
    // The child answers one byte per display as soon as it knows: 'W'/'w' for Wayland, 'X'/'x'
    // for X11 (upper case: it answers). What has not come when the time is up counts as none.
    int answers[2];
    if (pipe2(answers, O_CLOEXEC) != 0) {
        reason = "the display could not be checked";
        return false;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(answers[0]);
        if (!wayland.empty()) {
            const char c = WaylandReachable(wayland, Environment("XDG_RUNTIME_DIR")) ? 'W' : 'w';
            [[maybe_unused]] const ssize_t n = write(answers[1], &c, 1);
        }
        if (!x11.empty()) {
            const char c = X11Reachable(x11) ? 'X' : 'x';
            [[maybe_unused]] const ssize_t n = write(answers[1], &c, 1);
        }
        _exit(0);
    }
    close(answers[1]);
    bool waylandOk = false, x11Ok = false, timedOut = child < 0;
    const std::size_t expected = (wayland.empty() ? 0 : 1) + (x11.empty() ? 0 : 1);
    std::size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (child > 0 && got < expected) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd{answers[0], POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&fd, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        char c = 0;
        if (ready <= 0 || read(answers[0], &c, 1) != 1) {
            timedOut = ready == 0;
            break;
        }
        ++got;
        waylandOk = waylandOk || c == 'W';
        x11Ok = x11Ok || c == 'X';
    }
    close(answers[0]);
    if (child > 0) {
        kill(child, SIGKILL);
        RetryOnEintr([child] { return waitpid(child, nullptr, 0); });
    }
    if (!waylandOk) {
        unsetenv("WAYLAND_DISPLAY");
    }
    if (!x11Ok) {
        unsetenv("DISPLAY");
    }
    if (!waylandOk && !x11Ok) {
        reason = "the display does not answer";
        if (timedOut) {
            reason += " within " + std::to_string(timeout.count()) + " ms";
        }
    }
    return waylandOk || x11Ok;
}

}  // namespace qrx
