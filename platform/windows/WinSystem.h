#pragma once

#include "platform/System.h"

namespace qrx {

class WinAppInfo : public IAppInfo {
  public:
    std::string ExeFolder() override;
    std::string ExeName() override;
    std::uint32_t ProgramNumber() override;
    char PathSeparator() override { return '\\'; }
};

class WinClock : public IClock {
  public:
    LocalDateTime Now() override;
};

// Lines are written in the system's ANSI code page, one open, write and close per line.
class WinFileSystem : public IFileSystem {
  public:
    bool CreateFolder(const std::string& path) override;
    bool AppendLine(const std::string& path, const std::string& line) override;
};

}  // namespace qrx
