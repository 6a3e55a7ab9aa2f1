#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/MemoryWmi.h"

namespace qrx {

// A network interface and its addresses as the system lists them.
struct NetInterface {
    std::string name;
    unsigned index = 0;
    bool loopback = false;
    std::vector<std::string> addresses;  // IPv4 first, then IPv6, as text without "%scope"
};

// The interfaces of the running system, through getifaddrs.
std::vector<NetInterface> SystemInterfaces();
// CPUID leaf 1, EDX then EAX, as 16 upper-case hex digits; null off x86.
std::optional<std::string> SystemProcessorId();

// Stands in for the management instrumentation on Linux: the classes the program queries,
// filled from sysfs, procfs and /etc below a root folder. Content never fails: a source that
// is missing or unreadable gives a null value.
class SysfsWmi : public MemoryWmi {
  public:
    struct Seams {
        std::function<std::vector<NetInterface>()> interfaces = SystemInterfaces;
        std::function<std::optional<std::string>()> processorId = SystemProcessorId;
    };

    explicit SysfsWmi(std::string root = "/") : SysfsWmi(std::move(root), Seams{}) {}
    SysfsWmi(std::string root, Seams seams) : root_(std::move(root)), seams_(std::move(seams)) {}

  protected:
    // Reads the class afresh from the tree at every enumeration.
    std::optional<std::vector<Instance>> Fetch(const std::string& className) override;

  private:
    std::vector<Instance> NetworkAdapterConfigurations();
    std::vector<Instance> NetworkAdapters();
    std::vector<Instance> Processors();
    std::vector<Instance> OperatingSystems();
    std::vector<Instance> BaseBoards();
    std::vector<Instance> ComputerSystemProducts();

    std::string root_;
    Seams seams_;
};

}  // namespace qrx
