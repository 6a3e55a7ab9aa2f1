#pragma once

#include <string>

#include "platform/Result.h"

namespace qrx {

// What the desk's decoder needs of the desktop when it is started from the file manager
// (a double-click, files dropped on its icon) rather than from a console.
class IDesktopShell {
  public:
    virtual ~IDesktopShell() = default;
    // Whether the process is alone in a console window of its own, its output shown there:
    // started from the file manager, not from a console and not with its output redirected.
    virtual bool OwnsConsole() = 0;
    // The user's folder for temporary files (UTF-8), ending in the path separator.
    virtual std::string TempFolder() = 0;
    // Opens a file in the program the user chose for its kind (a page in the browser).
    virtual Done Open(const std::string& path) = 0;
    // Waits until the user presses Enter (or the console's input ends).
    virtual void WaitForEnter() = 0;
};

}  // namespace qrx
