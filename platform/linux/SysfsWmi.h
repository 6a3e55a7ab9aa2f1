#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MemoryWmi.h"
#include "platform/linux/facts/IdDatabases.h"
#include "platform/linux/facts/Network.h"
#include "platform/linux/facts/OperatingSystem.h"
#include "platform/linux/facts/Processor.h"

namespace qrx {

// Stands in for the management instrumentation on Linux: the classes the program queries,
// filled from sysfs, procfs and /etc below a root folder (platform/linux/facts), read afresh
// at every enumeration, one source per property of a class. Content never fails: a source that
// is missing or unreadable gives a null value.
class SysfsWmi : public MemoryWmi {
  public:
    // What the system answers other than through the tree; a fixture answers them itself.
    struct Seams {
        std::function<std::vector<NetInterface>()> interfaces = SystemInterfaces;
        std::function<std::optional<std::string>()> processorId = SystemProcessorId;
        HwdbLookUp hwdb = LookUpHwdb;
        // Asked when the tree has no /proc/sys/kernel/arch.
        MachineLookUp machine = SystemMachine;
    };

    explicit SysfsWmi(std::string root = "/") : SysfsWmi(std::move(root), Seams{}) {}
    SysfsWmi(std::string root, Seams seams) : root_(std::move(root)), seams_(std::move(seams)) {}

    // Where the stand-in takes a property of a class from: the system, nowhere because only
    // Windows has it (the property is there, its value null), or not at all (no such property).
    enum class Source { None, System, WindowsOnly };
    static Source SourceOf(std::string_view className, std::string_view property);

  protected:
    std::optional<std::vector<Instance>> Fetch(const std::string& className) override;

  private:
    std::string root_;
    Seams seams_;
};

}  // namespace qrx
