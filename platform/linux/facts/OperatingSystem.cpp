#include "platform/linux/facts/OperatingSystem.h"

#include <sys/utsname.h>

#include <sstream>

#include "platform/linux/facts/Files.h"

namespace qrx {

namespace {

constexpr LocaleFacts kLocales[] = {
    {"ja_JP", 0x0411, "81"},  {"en_US", 0x0409, "1"},   {"en_GB", 0x0809, "44"},
    {"en_AU", 0x0C09, "61"},  {"en_CA", 0x1009, "1"},   {"en_IN", 0x4009, "91"},
    {"de_DE", 0x0407, "49"},  {"fr_FR", 0x040C, "33"},  {"it_IT", 0x0410, "39"},
    {"es_ES", 0x0C0A, "34"},  {"pt_BR", 0x0416, "55"},  {"pt_PT", 0x0816, "351"},
    {"nl_NL", 0x0413, "31"},  {"ru_RU", 0x0419, "7"},   {"zh_CN", 0x0804, "86"},
    {"zh_TW", 0x0404, "886"}, {"zh_HK", 0x0C04, "852"}, {"ko_KR", 0x0412, "82"},
    {"th_TH", 0x041E, "66"},  {"vi_VN", 0x042A, "84"},  {"id_ID", 0x0421, "62"},
    {"pl_PL", 0x0415, "48"},  {"sv_SE", 0x041D, "46"},  {"tr_TR", 0x041F, "90"},
};

// LANG of the system's locale file, never of the environment.
std::optional<std::string> SystemLocaleName(const std::string& root) {
    for (const char* file : {"/etc/default/locale", "/etc/locale.conf"}) {
        const auto text = ReadFile(root + file);
        if (!text) {
            continue;
        }
        std::istringstream lines(*text);
        std::string line;
        while (std::getline(lines, line)) {
            line = Trim(line);
            if (line.rfind("LANG=", 0) != 0) {
                continue;
            }
            std::string value = line.substr(5);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            return value.substr(0, value.find_first_of(".@"));
        }
    }
    return std::nullopt;
}

const LocaleFacts* FindLocale(const std::optional<std::string>& name) {
    if (!name) {
        return nullptr;
    }
    for (const auto& l : kLocales) {
        if (*name == l.name) {
            return &l;
        }
    }
    return nullptr;
}

// PRETTY_NAME with os-release's shell-like quoting undone.
std::optional<std::string> PrettyName(const std::string& root) {
    auto text = ReadFile(root + "/etc/os-release");
    if (!text) {
        text = ReadFile(root + "/usr/lib/os-release");
    }
    if (!text) {
        return std::nullopt;
    }
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("PRETTY_NAME=", 0) != 0) {
            continue;
        }
        const std::string raw = line.substr(12);
        std::string value;
        char quote = 0;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            const char c = raw[i];
            if (quote == 0 && (c == '"' || c == '\'')) {
                quote = c;
            } else if (quote != 0 && c == quote) {
                quote = 0;
            } else if (quote != '\'' && c == '\\' && i + 1 < raw.size()) {
                value += raw[++i];
            } else {
                value += c;
            }
        }
        return SanitizeUtf8(value);
    }
    return std::nullopt;
}

std::optional<std::string> MemoryKb(const std::string& root) {
    std::optional<std::string> memory;
    if (const auto text = ReadFile(root + "/proc/meminfo")) {
        std::istringstream lines(*text);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("MemTotal:", 0) == 0) {
                std::istringstream fields(line.substr(9));
                unsigned long long kb = 0;
                if (fields >> kb) {
                    memory = std::to_string(kb);
                }
            }
        }
    }
    return memory;
}

}  // namespace

std::optional<std::string> SystemMachine() {
    utsname u{};
    if (uname(&u) == 0) {
        return std::string(u.machine);
    }
    return std::nullopt;
}

std::optional<std::string> MachineType(const std::string& root, const MachineLookUp& uname) {
    if (auto arch = ReadValue(root + "/proc/sys/kernel/arch")) {
        return arch;
    }
    return uname();
}

OperatingSystemFacts ReadOperatingSystem(const std::string& root,
                                         const std::optional<std::string>& machine) {
    OperatingSystemFacts os;
    os.caption = PrettyName(root);
    if (machine) {
        os.architecture = machine->find("64") != std::string::npos ? "64-bit" : "32-bit";
    }
    os.version = ReadValue(root + "/proc/sys/kernel/osrelease");
    os.build = ReadValue(root + "/proc/sys/kernel/version");
    os.locale = FindLocale(SystemLocaleName(root));
    os.host = ReadValue(root + "/proc/sys/kernel/hostname");
    if (!os.host) {
        os.host = ReadValue(root + "/etc/hostname");
    }
    os.serial = ReadValue(root + "/etc/machine-id");
    os.memory = MemoryKb(root);
    return os;
}

}  // namespace qrx
