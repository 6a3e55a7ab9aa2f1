#include "platform/linux/facts/Processor.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "platform/linux/facts/Files.h"

namespace qrx {

namespace {

using Block = std::map<std::string, std::string>;

// The first block of /proc/cpuinfo of every physical package, by package id.
std::vector<Block> Packages(const std::string& root) {
    std::vector<std::pair<long, Block>> packages;
    if (const auto text = ReadFile(root + "/proc/cpuinfo")) {
        std::istringstream lines(*text + "\n");
        Block block;
        std::string line;
        while (std::getline(lines, line)) {
            const auto colon = line.find(':');
            if (colon != std::string::npos) {
                block.emplace(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
                continue;
            }
            if (Trim(line).empty() && !block.empty()) {
                const long id = block.contains("physical id")
                                    ? std::strtol(block["physical id"].c_str(), nullptr, 10)
                                    : 0;
                const bool known = std::any_of(packages.begin(), packages.end(),
                                               [id](const auto& p) { return p.first == id; });
                if (!known) {
                    packages.emplace_back(id, block);
                }
                block.clear();
            }
        }
    }
    std::stable_sort(packages.begin(), packages.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Block> out;
    for (auto& package : packages) {
        out.push_back(std::move(package.second));
    }
    return out;
}

}  // namespace

std::optional<std::string> SystemProcessorId() {
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%08X%08X", edx, eax);
        return std::string(buf);
    }
#endif
    return std::nullopt;
}

bool IsX86(const std::optional<std::string>& machine) {
    return machine && (*machine == "x86_64" || (machine->size() == 4 && (*machine)[0] == 'i' &&
                                                machine->substr(2) == "86"));
}

std::vector<ProcessorFacts> ReadProcessors(const std::string& root,
                                           const std::optional<std::string>& machine) {
    const bool x86 = IsX86(machine);
    std::vector<ProcessorFacts> out;
    for (const Block& info : Packages(root)) {
        auto field = [&info](const char* key) -> std::optional<std::string> {
            auto it = info.find(key);
            return it == info.end() ? std::nullopt
                                    : std::optional<std::string>(SanitizeUtf8(it->second));
        };
        ProcessorFacts cpu;
        cpu.name = field("model name");
        if (!cpu.name) {
            cpu.name = field("Processor");
        }
        if (!cpu.name) {
            cpu.name = field("cpu model");
        }
        if (x86 && field("cpu family") && field("model") && field("stepping")) {
            const std::string arch =
                *machine == "x86_64"
                    ? (field("vendor_id") == std::optional<std::string>("GenuineIntel") ? "Intel64"
                                                                                        : "AMD64")
                    : "x86";
            cpu.description = arch + " Family " + *field("cpu family") + " Model " +
                              *field("model") + " Stepping " + *field("stepping");
        } else if (field("CPU implementer") && field("CPU part")) {
            cpu.description = "ARM Implementer " + *field("CPU implementer") + " Part " +
                              *field("CPU part") + " Revision " +
                              field("CPU revision").value_or("0");
        }
        out.push_back(std::move(cpu));
    }
    return out;
}

}  // namespace qrx
