#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qrx {

// A device's vendor and model as the ID databases name them.
struct HardwareNames {
    std::optional<std::string> vendor;
    std::optional<std::string> model;
};

// Where the vendor's line starts in the text of an ID file whose vendors are in ascending
// order, found by bisection; null when it is not found that way.
std::optional<std::size_t> BisectVendor(std::string_view text, unsigned vendor);
// Looks a vendor and a device up in a file of the pci.ids or usb.ids format.
HardwareNames LookUpIds(const std::string& file, unsigned vendor, unsigned device);
// Looks a device's modalias up in the system's udev hardware database, where it has one.
HardwareNames LookUpHwdb(const std::string& modalias);

}  // namespace qrx
