#include "platform/linux/facts/IdDatabases.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/linux/facts/Files.h"

namespace qrx {

// The file (about 1 MB) is mapped, not read, and the vendor's line is searched for in it at
// once; only the vendor's own block is read line by line.
HardwareNames LookUpIds(const std::string& file, unsigned vendor, unsigned device) {
    HardwareNames names;
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return names;
    }
    struct stat st {};
    void* map =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0
            ? mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0)
            : MAP_FAILED;
    close(fd);
    if (map == MAP_FAILED) {
        return names;
    }
    std::unique_ptr<void, std::function<void(void*)>> unmap(
        map, [&st](void* p) { munmap(p, static_cast<std::size_t>(st.st_size)); });
    const std::string_view text(static_cast<const char*>(map),
                                static_cast<std::size_t>(st.st_size));
    char key[8];
    std::snprintf(key, sizeof key, "%04x ", vendor & 0xFFFF);
    char dev[8];
    std::snprintf(dev, sizeof dev, "\t%04x ", device & 0xFFFF);
    // memmem rather than std::string::find: the line break it starts with is on every line.
    const std::string needle = std::string("\n") + key;
    const char* at = text.starts_with(key)
                         ? text.data()
                         : static_cast<const char*>(
                               memmem(text.data(), text.size(), needle.data(), needle.size()));
    if (at == nullptr) {
        return names;
    }
    std::string_view rest(at, text.data() + text.size() - at);
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

// libudev is loaded only for this look-up,
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

}  // namespace qrx
