#pragma once

#include <chrono>
#include <string>

namespace qrx {

// Whether a Wayland compositor answers at `display` (a socket name below `runtimeDir`, or an
// absolute path): it must answer a round trip, not only accept the connection. Blocks while
// the compositor is silent; KeepReachableDisplays bounds the wait.
bool WaylandReachable(const std::string& display, const std::string& runtimeDir);

// Whether an X server accepts a connection to `display`, asked through libxcb, which is loaded
// only for this question (Qt's X11 plugin needs it all the same).
bool X11Reachable(const std::string& display);

// Checks the session's DISPLAY and WAYLAND_DISPLAY before Qt is started, which would end the
// process when it cannot reach a display, and takes out of the environment the one that does
// not answer. The checks run in a child process that is given `timeout` in all: a display that
// accepts the connection and never answers (a stopped X server, a stale tunnel) counts as
// none, and `reason` then says so. True when a display is left.
bool KeepReachableDisplays(std::string& reason,
                           std::chrono::milliseconds timeout = std::chrono::seconds(2));

}  // namespace qrx
