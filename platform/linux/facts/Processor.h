#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qrx {

// CPUID leaf 1, EDX then EAX, as 16 upper-case hex digits; null off x86.
std::optional<std::string> SystemProcessorId();

// Whether a machine type as uname gives it ("x86_64", "i686") is an x86 one.
bool IsX86(const std::optional<std::string>& machine);

// One physical package.
struct ProcessorFacts {
    std::optional<std::string> name;
    // "Intel64 Family 6 Model 158 Stepping 9" on x86, "ARM Implementer ..." on ARM.
    std::optional<std::string> description;
};

// The packages of /proc/cpuinfo below `root`, by package id.
std::vector<ProcessorFacts> ReadProcessors(const std::string& root,
                                           const std::optional<std::string>& machine);

}  // namespace qrx
