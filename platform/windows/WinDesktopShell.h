#pragma once

#include "platform/DesktopShell.h"

namespace qrx {

// The desktop of Windows: the console the process was given, %TEMP%, the shell's "open" verb
// and the console's input.
class WinDesktopShell : public IDesktopShell {
  public:
    bool OwnsConsole() override;
    std::string TempFolder() override;
    Done Open(const std::string& path) override;
    void WaitForEnter() override;
};

}  // namespace qrx
