#pragma once

#include <string>
#include <vector>

#include "platform/Result.h"

namespace qrx {

// The Qt platform plugins that can serve this session, in the form QT_QPA_PLATFORM takes
// ("wayland;xcb"): the Wayland one when `waylandDisplay` is set and its plugin is installed,
// then the X11 one when `x11Display` is set and its plugin is installed. `pluginDirs` are the
// folders that hold Qt's platform plugins. Fails with the reason when none can.
Result<std::string> ChooseQtPlatforms(const std::string& waylandDisplay,
                                      const std::string& x11Display,
                                      const std::vector<std::string>& pluginDirs);

}  // namespace qrx
