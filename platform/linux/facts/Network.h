#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/facts/IdDatabases.h"

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

// What the tree tells of one interface, in the forms Windows uses.
struct Adapter {
    NetInterface net;
    std::string description;
    std::optional<std::string> manufacturer;
    std::optional<std::string> mac;
    bool ethernet = false;
    bool physical = false;
    std::optional<std::string> pnpDeviceId;
};

using HwdbLookUp = std::function<HardwareNames(const std::string& modalias)>;

// The interfaces but loopback ones, by interface index, described from /sys/class/net below
// `root`, pci.ids and usb.ids below `root`, and the hardware database for names those lack.
std::vector<Adapter> ReadAdapters(const std::string& root, std::vector<NetInterface> interfaces,
                                  const HwdbLookUp& hwdb);

}  // namespace qrx
