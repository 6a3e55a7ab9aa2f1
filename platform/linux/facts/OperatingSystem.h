#pragma once

#include <functional>
#include <optional>
#include <string>

namespace qrx {

// The machine type as uname gives it ("x86_64").
std::optional<std::string> SystemMachine();

using MachineLookUp = std::function<std::optional<std::string>()>;

// /proc/sys/kernel/arch below `root`, else what `uname` gives.
std::optional<std::string> MachineType(const std::string& root, const MachineLookUp& uname);

// What Windows tells of a locale.
struct LocaleFacts {
    const char* name;  // language_TERRITORY
    unsigned lcid;
    const char* countryCode;
};

struct OperatingSystemFacts {
    std::optional<std::string> caption;       // PRETTY_NAME of os-release
    std::optional<std::string> architecture;  // "64-bit" or "32-bit"
    std::optional<std::string> version;       // kernel release
    std::optional<std::string> build;         // kernel version text
    const LocaleFacts* locale = nullptr;      // of the system's locale file; null for C or unknown
    std::optional<std::string> host;
    std::optional<std::string> serial;  // machine-id
    std::optional<std::string> memory;  // MemTotal in KB
};

// The operating system below `root` on a machine of the given type.
OperatingSystemFacts ReadOperatingSystem(const std::string& root,
                                         const std::optional<std::string>& machine);

}  // namespace qrx
