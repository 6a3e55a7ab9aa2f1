#pragma once

#include <string>

namespace qrx {

// Whether a Wayland compositor listens at `display` (a socket name below `runtimeDir`, or an
// absolute path).
bool WaylandReachable(const std::string& display, const std::string& runtimeDir);

// Whether an X server accepts a connection to `display`, asked through libxcb, which is loaded
// only for this question (Qt's X11 plugin needs it all the same).
bool X11Reachable(const std::string& display);

// Checks the session's DISPLAY and WAYLAND_DISPLAY before Qt is started, which would end the
// process when it cannot reach a display, and takes out of the environment the one that does
// not answer. True when a display is left.
bool KeepReachableDisplays();

}  // namespace qrx
