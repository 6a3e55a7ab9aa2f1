#include "platform/linux/facts/Network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/Ascii.h"
#include "platform/linux/facts/Files.h"

namespace qrx {

namespace {

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

std::vector<Adapter> ReadAdapters(const std::string& root, std::vector<NetInterface> interfaces,
                                  const HwdbLookUp& hwdb) {
    std::vector<Adapter> adapters;
    for (NetInterface& net : interfaces) {
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
            if (!names.model || !names.vendor) {
                if (const auto modalias = ReadValue(hw + "/modalias")) {
                    const HardwareNames db = hwdb(*modalias);
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

}  // namespace qrx
