#include "platform/linux/SysfsWmi.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "platform/Ascii.h"

namespace qrx {

namespace {

// ---- reading the tree ------------------------------------------------------------------

std::optional<std::string> ReadFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    std::string text;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // sysfs and procfs tell no true size: read until the end whatever the size says.
    text.resize(ok ? static_cast<std::size_t>(st.st_size) + 4096 : 0);
    std::size_t used = 0;
    while (ok) {
        if (used == text.size()) {
            text.resize(text.size() * 2);
        }
        const ssize_t n = read(fd, text.data() + used, text.size() - used);
        ok = n >= 0;
        if (n <= 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    close(fd);
    if (!ok) {
        return std::nullopt;
    }
    text.resize(used);
    return text;
}

// Replaces every byte sequence that is not UTF-8 with U+FFFD.
std::string SanitizeUtf8(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            len = 1;
            cp = c;
        } else if (c >= 0xC2 && c < 0xE0) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c < 0xF0) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c < 0xF5) {
            len = 4;
            cp = c & 0x07;
        }
        bool ok = len > 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            ok = (p[i + k] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (ok && ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) ||
                   (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))) {
            ok = false;
        }
        if (ok) {
            out.append(s, i, len);
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

// A one-value file as sysfs and /etc keep them: the trailing newline goes, the rest stays.
std::optional<std::string> ReadValue(const std::string& path) {
    auto text = ReadFile(path);
    if (!text) {
        return std::nullopt;
    }
    while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) {
        text->pop_back();
    }
    return SanitizeUtf8(*text);
}

std::string Basename(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::optional<std::string> LinkName(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) {
        return std::nullopt;
    }
    return Basename(std::string(buf, static_cast<std::size_t>(n)));
}

std::optional<std::string> RealName(const std::string& path) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf) == nullptr) {
        return std::nullopt;
    }
    return Basename(buf);
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::optional<unsigned> Hex(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const unsigned long v = std::strtoul(text->c_str(), &end, 16);
    if (end == text->c_str()) {
        return std::nullopt;
    }
    return static_cast<unsigned>(v);
}

Variant TextOrNull(const std::optional<std::string>& text) {
    return text ? Variant::Text(*text) : Variant::Null();
}

// ---- hardware names ----------------------------------------------------------------------

struct HardwareNames {
    std::optional<std::string> vendor;
    std::optional<std::string> model;
};

// Looks a vendor and a device up in a pci.ids or usb.ids file. The vendor's line is searched
// for in the whole text at once; only the vendor's own block is read line by line.
HardwareNames LookUpIds(const std::string& file, unsigned vendor, unsigned device) {
    HardwareNames names;
    const auto text = ReadFile(file);
    if (!text) {
        return names;
    }
    char key[8];
    std::snprintf(key, sizeof key, "%04x ", vendor & 0xFFFF);
    char dev[8];
    std::snprintf(dev, sizeof dev, "\t%04x ", device & 0xFFFF);
    // memmem rather than std::string::find: the line break it starts with is on every line.
    const std::string needle = std::string("\n") + key;
    const char* at = text->rfind(key, 0) == 0
                         ? text->data()
                         : static_cast<const char*>(
                               memmem(text->data(), text->size(), needle.data(), needle.size()));
    if (at == nullptr) {
        return names;
    }
    std::string_view rest(at, text->data() + text->size() - at);
    rest.remove_prefix(rest.front() == '\n' ? 1 : 0);
    bool first = true;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (first) {
            names.vendor = SanitizeUtf8(Trim(std::string(line.substr(5))));
            first = false;
        } else if (!line.empty() && line[0] != '\t' && line[0] != '#') {
            break;  // the next vendor
        } else if (line.starts_with(dev)) {
            names.model = SanitizeUtf8(Trim(std::string(line.substr(6))));
            break;
        }
    }
    return names;
}

// The system's udev hardware database, where it has one. libudev is loaded only for this look-up,
// which most runs never make, so the program does not pay for loading it at every start.
HardwareNames LookUpHwdb(const std::string& modalias) {
    HardwareNames names;
    void* lib = dlopen("libudev.so.1", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        return names;
    }
    auto fn = [lib](const char* name) { return dlsym(lib, name); };
    using Object = void*;
    auto udevNew = reinterpret_cast<Object (*)()>(fn("udev_new"));
    auto udevUnref = reinterpret_cast<Object (*)(Object)>(fn("udev_unref"));
    auto hwdbNew = reinterpret_cast<Object (*)(Object)>(fn("udev_hwdb_new"));
    auto hwdbUnref = reinterpret_cast<Object (*)(Object)>(fn("udev_hwdb_unref"));
    auto properties = reinterpret_cast<Object (*)(Object, const char*, unsigned)>(
        fn("udev_hwdb_get_properties_list_entry"));
    auto next = reinterpret_cast<Object (*)(Object)>(fn("udev_list_entry_get_next"));
    auto nameOf = reinterpret_cast<const char* (*)(Object)>(fn("udev_list_entry_get_name"));
    auto valueOf = reinterpret_cast<const char* (*)(Object)>(fn("udev_list_entry_get_value"));
    Object u =
        udevNew && udevUnref && hwdbNew && hwdbUnref && properties && next && nameOf && valueOf
            ? udevNew()
            : nullptr;
    if (Object hwdb = u ? hwdbNew(u) : nullptr) {
        for (Object entry = properties(hwdb, modalias.c_str(), 0); entry; entry = next(entry)) {
            const std::string name = nameOf(entry);
            if (name == "ID_VENDOR_FROM_DATABASE") {
                names.vendor = SanitizeUtf8(valueOf(entry));
            } else if (name == "ID_MODEL_FROM_DATABASE") {
                names.model = SanitizeUtf8(valueOf(entry));
            }
        }
        hwdbUnref(hwdb);
    }
    if (u) {
        udevUnref(u);
    }
    dlclose(lib);
    return names;
}

// ---- locales -------------------------------------------------------------------------------

struct LocaleFacts {
    const char* name;  // language_TERRITORY
    unsigned lcid;
    const char* countryCode;
};

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

// ---- instances -------------------------------------------------------------------------------

struct Adapter {
    NetInterface net;
    std::string description;
    std::optional<std::string> manufacturer;
    std::optional<std::string> mac;
    bool ethernet = false;
    bool physical = false;
    std::optional<std::string> pnpDeviceId;
};

std::string Format(const char* pattern, unsigned a, unsigned b = 0, unsigned c = 0, unsigned d = 0,
                   unsigned e = 0) {
    char buf[128];
    std::snprintf(buf, sizeof buf, pattern, a, b, c, d, e);
    return buf;
}

// The device that names an interface: the interface's own device when it is a PCI or USB one,
// else the nearest PCI or USB device above it, as virtio devices sit on a bus of their own below
// the PCI function that a Windows guest sees. Null when there is none (virtio-mmio).
std::optional<std::string> PciOrUsbDevice(const std::string& root, const std::string& dev) {
    char buf[PATH_MAX];
    char devices[PATH_MAX];
    if (realpath(dev.c_str(), buf) == nullptr ||
        realpath((root + "/sys/devices").c_str(), devices) == nullptr) {
        return std::nullopt;
    }
    std::string path = buf;
    const std::string top = devices + std::string("/");
    while (path.size() > top.size() && path.starts_with(top)) {
        const auto bus = LinkName(path + "/subsystem");
        if (bus == std::optional<std::string>("pci") || bus == std::optional<std::string>("usb")) {
            return path;
        }
        path.erase(path.rfind('/'));
    }
    return std::nullopt;
}

std::vector<Adapter> ReadAdapters(const std::string& root,
                                  const std::function<std::vector<NetInterface>()>& list) {
    std::vector<Adapter> adapters;
    for (NetInterface& net : list()) {
        const std::string dir = root + "/sys/class/net/" + net.name;
        if (net.loopback || ReadValue(dir + "/type") == std::optional<std::string>("772")) {
            continue;
        }
        Adapter a;
        a.net = std::move(net);
        a.ethernet = ReadValue(dir + "/type") == std::optional<std::string>("1");
        if (auto mac = ReadValue(dir + "/address");
            mac && !mac->empty() && mac->find_first_not_of("0:") != std::string::npos) {
            a.mac = Upper(*mac);
        }
        const std::string dev = dir + "/device";
        struct stat st {};
        a.physical = lstat(dev.c_str(), &st) == 0;
        HardwareNames names;
        if (a.physical) {
            const std::string hw = PciOrUsbDevice(root, dev).value_or(dev);
            const auto bus = LinkName(hw + "/subsystem");
            if (bus == std::optional<std::string>("pci")) {
                const auto vendor = Hex(ReadValue(hw + "/vendor")).value_or(0);
                const auto device = Hex(ReadValue(hw + "/device")).value_or(0);
                a.pnpDeviceId = Format("PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X\\", vendor,
                                       device, Hex(ReadValue(hw + "/subsystem_device")).value_or(0),
                                       Hex(ReadValue(hw + "/subsystem_vendor")).value_or(0),
                                       Hex(ReadValue(hw + "/revision")).value_or(0)) +
                                RealName(hw).value_or(a.net.name);
                names = LookUpIds(root + "/usr/share/misc/pci.ids", vendor, device);
            } else if (bus == std::optional<std::string>("usb")) {
                // An interface of a USB device, or the device itself.
                const std::string usb = ReadValue(hw + "/idVendor") ? hw : hw + "/..";
                const auto vendor = Hex(ReadValue(usb + "/idVendor")).value_or(0);
                const auto product = Hex(ReadValue(usb + "/idProduct")).value_or(0);
                const auto serial = ReadValue(usb + "/serial");
                a.pnpDeviceId =
                    Format("USB\\VID_%04X&PID_%04X\\", vendor, product) +
                    (serial && !serial->empty() ? *serial : RealName(usb).value_or(a.net.name));
                names = LookUpIds(root + "/usr/share/misc/usb.ids", vendor, product);
            } else if (bus) {
                const auto vendor = Hex(ReadValue(hw + "/vendor"));
                const auto device = Hex(ReadValue(hw + "/device"));
                std::string id = Upper(*bus) + "\\";
                if (vendor && device) {
                    id += Format("VEN_%04X&DEV_%04X\\", *vendor, *device);
                }
                a.pnpDeviceId = id + RealName(hw).value_or(a.net.name);
            }
            if (root == "/" && (!names.model || !names.vendor)) {
                if (const auto modalias = ReadValue(hw + "/modalias")) {
                    const HardwareNames db = LookUpHwdb(*modalias);
                    names.vendor = names.vendor ? names.vendor : db.vendor;
                    names.model = names.model ? names.model : db.model;
                }
            }
        }
        a.manufacturer = names.vendor;
        a.description = names.model ? *names.model : LinkName(dev + "/driver").value_or(a.net.name);
        adapters.push_back(std::move(a));
    }
    std::stable_sort(adapters.begin(), adapters.end(),
                     [](const Adapter& x, const Adapter& y) { return x.net.index < y.net.index; });
    return adapters;
}

std::optional<std::string> MachineType(const std::string& root) {
    if (auto arch = ReadValue(root + "/proc/sys/kernel/arch")) {
        return arch;
    }
    if (root == "/") {
        utsname u{};
        if (uname(&u) == 0) {
            return std::string(u.machine);
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<NetInterface> SystemInterfaces() {
    std::vector<NetInterface> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return result;
    }
    std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> guard(list, freeifaddrs);
    auto find = [&](const std::string& name) -> NetInterface& {
        for (auto& n : result) {
            if (n.name == name) {
                return n;
            }
        }
        result.push_back({name, if_nametoindex(name.c_str()), false, {}});
        return result.back();
    };
    std::vector<std::pair<std::string, std::string>> v6;
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        NetInterface& n = find(a->ifa_name);
        n.loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
        if (a->ifa_addr == nullptr) {
            continue;
        }
        char text[INET6_ADDRSTRLEN] = {};
        if (a->ifa_addr->sa_family == AF_INET) {
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text,
                      sizeof text);
            n.addresses.push_back(text);
        } else if (a->ifa_addr->sa_family == AF_INET6) {
            inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr, text,
                      sizeof text);
            v6.emplace_back(n.name, text);
        }
    }
    for (const auto& [name, address] : v6) {
        find(name).addresses.push_back(address);
    }
    return result;
}

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

std::optional<std::vector<SysfsWmi::Instance>> SysfsWmi::Fetch(const std::string& className) {
    const std::string name = Lower(className);
    if (name == "win32_networkadapterconfiguration") {
        return NetworkAdapterConfigurations();
    }
    if (name == "win32_networkadapter") {
        return NetworkAdapters();
    }
    if (name == "win32_processor") {
        return Processors();
    }
    if (name == "win32_operatingsystem") {
        return OperatingSystems();
    }
    if (name == "win32_baseboard") {
        return BaseBoards();
    }
    if (name == "win32_computersystemproduct") {
        return ComputerSystemProducts();
    }
    return std::nullopt;
}

std::vector<SysfsWmi::Instance> SysfsWmi::NetworkAdapterConfigurations() {
    std::vector<Instance> out;
    for (const Adapter& a : ReadAdapters(root_, seams_.interfaces)) {
        std::vector<Variant> addresses;
        for (const auto& address : a.net.addresses) {
            addresses.push_back(Variant::Text(address));
        }
        out.push_back({
            {"Caption", Variant::Text(Format("[%08u] ", a.net.index) + a.description)},
            {"IPAddress", addresses.empty() ? Variant::Null() : Variant::Array(addresses)},
            {"MACAddress", TextOrNull(a.mac)},
        });
    }
    return out;
}

std::vector<SysfsWmi::Instance> SysfsWmi::NetworkAdapters() {
    std::vector<Instance> out;
    for (const Adapter& a : ReadAdapters(root_, seams_.interfaces)) {
        out.push_back({
            {"Description", Variant::Text(a.description)},
            {"AdapterType", a.ethernet ? Variant::Text("Ethernet 802.3") : Variant::Null()},
            {"Manufacturer", TextOrNull(a.manufacturer)},
            {"Name", Variant::Text(a.net.name)},
            {"PhysicalAdapter", Variant::Bool(a.physical)},
            {"PNPDeviceID", TextOrNull(a.pnpDeviceId)},
        });
    }
    return out;
}

std::vector<SysfsWmi::Instance> SysfsWmi::Processors() {
    std::vector<std::pair<long, std::map<std::string, std::string>>> packages;
    if (const auto text = ReadFile(root_ + "/proc/cpuinfo")) {
        std::istringstream lines(*text + "\n");
        std::map<std::string, std::string> block;
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

    const auto machine = MachineType(root_);
    const bool x86 =
        machine && (*machine == "x86_64" ||
                    (machine->size() == 4 && (*machine)[0] == 'i' && machine->substr(2) == "86"));
    std::vector<Instance> out;
    for (auto& package : packages) {
        const auto& info = package.second;
        auto field = [&info](const char* key) -> std::optional<std::string> {
            auto it = info.find(key);
            return it == info.end() ? std::nullopt
                                    : std::optional<std::string>(SanitizeUtf8(it->second));
        };
        std::optional<std::string> name = field("model name");
        if (!name) {
            name = field("Processor");
        }
        if (!name) {
            name = field("cpu model");
        }
        std::optional<std::string> description;
        if (x86 && field("cpu family") && field("model") && field("stepping")) {
            const std::string arch =
                *machine == "x86_64"
                    ? (field("vendor_id") == std::optional<std::string>("GenuineIntel") ? "Intel64"
                                                                                        : "AMD64")
                    : "x86";
            description = arch + " Family " + *field("cpu family") + " Model " + *field("model") +
                          " Stepping " + *field("stepping");
        } else if (field("CPU implementer") && field("CPU part")) {
            description = "ARM Implementer " + *field("CPU implementer") + " Part " +
                          *field("CPU part") + " Revision " + field("CPU revision").value_or("0");
        }
        out.push_back({
            {"Name", TextOrNull(name)},
            {"Description", TextOrNull(description)},
            {"ProcessorId", x86 ? TextOrNull(seams_.processorId()) : Variant::Null()},
        });
    }
    return out;
}

std::vector<SysfsWmi::Instance> SysfsWmi::OperatingSystems() {
    const auto machine = MachineType(root_);
    const LocaleFacts* locale = FindLocale(SystemLocaleName(root_));
    std::optional<std::string> memory;
    if (const auto text = ReadFile(root_ + "/proc/meminfo")) {
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
    auto host = ReadValue(root_ + "/proc/sys/kernel/hostname");
    if (!host) {
        host = ReadValue(root_ + "/etc/hostname");
    }
    std::optional<std::string> architecture;
    if (machine) {
        architecture = machine->find("64") != std::string::npos ? "64-bit" : "32-bit";
    }
    char localeHex[8] = {};
    if (locale != nullptr) {
        std::snprintf(localeHex, sizeof localeHex, "%04X", locale->lcid);
    }
    return {{
        {"Caption", TextOrNull(PrettyName(root_))},
        {"OSArchitecture", TextOrNull(architecture)},
        {"Version", TextOrNull(ReadValue(root_ + "/proc/sys/kernel/osrelease"))},
        {"BuildNumber", TextOrNull(ReadValue(root_ + "/proc/sys/kernel/version"))},
        {"OSLanguage", locale ? Variant::Int(locale->lcid) : Variant::Null()},
        {"CountryCode", locale ? Variant::Text(locale->countryCode) : Variant::Null()},
        {"Locale", locale ? Variant::Text(localeHex) : Variant::Null()},
        {"CSName", TextOrNull(host)},
        {"SerialNumber", TextOrNull(ReadValue(root_ + "/etc/machine-id"))},
        {"TotalVisibleMemorySize", TextOrNull(memory)},
    }};
}

std::vector<SysfsWmi::Instance> SysfsWmi::BaseBoards() {
    const std::string dmi = root_ + "/sys/class/dmi/id/";
    return {{
        {"Manufacturer", TextOrNull(ReadValue(dmi + "board_vendor"))},
        {"Product", TextOrNull(ReadValue(dmi + "board_name"))},
        {"Version", TextOrNull(ReadValue(dmi + "board_version"))},
        {"SerialNumber", TextOrNull(ReadValue(dmi + "board_serial"))},
    }};
}

std::vector<SysfsWmi::Instance> SysfsWmi::ComputerSystemProducts() {
    const std::string dmi = root_ + "/sys/class/dmi/id/";
    auto uuid = ReadValue(dmi + "product_uuid");
    if (uuid) {
        uuid = Upper(*uuid);
    }
    return {{
        {"Vendor", TextOrNull(ReadValue(dmi + "sys_vendor"))},
        {"Name", TextOrNull(ReadValue(dmi + "product_name"))},
        {"UUID", TextOrNull(uuid)},
    }};
}

}  // namespace qrx
