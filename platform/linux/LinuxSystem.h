#pragma once

#include <string>

#include "platform/System.h"

namespace qrx {

class LinuxAppInfo : public IAppInfo {
  public:
    std::string ExeFolder() override;
    std::string ExeName() override;
    std::uint32_t ProgramNumber() override;
    char PathSeparator() override { return '/'; }
};

class LinuxClock : public IClock {
  public:
    LocalDateTime Now() override;
};

// Files are written as they come: the narrow code page here is UTF-8.
class PosixFileSystem : public IFileSystem {
  public:
    bool CreateFolder(const std::string& path) override;
    bool AppendLine(const std::string& path, const std::string& line) override;
};

}  // namespace qrx
