#include "tools/decode/formats/Adapters.h"

namespace qrx {

namespace {

const ClassRecords* Find(const Collection& c, std::string_view name) {
    for (const auto& k : c.classes) {
        if (k.name == name) {
            return &k;
        }
    }
    return nullptr;
}

std::string First(const Instance& i, std::string_view property) {
    const Property* p = i.Find(property);
    return p != nullptr && !p->values.empty() ? p->values.front() : std::string();
}

}  // namespace

std::vector<AdapterRow> AdapterRows(const Collection& c) {
    const ClassRecords* configurations = Find(c, "Win32_NetworkAdapterConfiguration");
    const ClassRecords* adapters = Find(c, "Win32_NetworkAdapter");
    std::vector<AdapterRow> rows;
    std::vector<bool> taken(adapters != nullptr ? adapters->instances.size() : 0);
    static const std::vector<Instance> kNone;
    for (const auto& conf : configurations != nullptr ? configurations->instances : kNone) {
        AdapterRow row;
        std::string description = First(conf, "Caption");
        if (description.starts_with('[') && description.find("] ") != std::string::npos) {
            const auto close = description.find("] ");
            row.index = description.substr(1, close - 1);
            row.index.erase(0, std::min(row.index.find_first_not_of('0'), row.index.size() - 1));
            description.erase(0, close + 2);
        }
        row.name = description;
        row.mac = First(conf, "MACAddress");
        if (const Property* ip = conf.Find("IPAddress")) {
            row.addresses = ip->values;
        }
        for (std::size_t n = 0; n < taken.size(); ++n) {
            const Instance& a = adapters->instances[n];
            if (!taken[n] && First(a, "Description") == description) {
                taken[n] = true;
                row.name = First(a, "Name").empty() ? description : First(a, "Name");
                row.type = First(a, "AdapterType");
                row.deviceId = First(a, "PNPDeviceID");
                break;
            }
        }
        rows.push_back(std::move(row));
    }
    // Adapters without a configuration of their own (Windows lists more adapters than it
    // configures) follow.
    for (std::size_t n = 0; n < taken.size(); ++n) {
        if (!taken[n]) {
            const Instance& a = adapters->instances[n];
            rows.push_back({"",
                            First(a, "Name").empty() ? First(a, "Description") : First(a, "Name"),
                            First(a, "AdapterType"),
                            "",
                            {},
                            First(a, "PNPDeviceID")});
        }
    }
    return rows;
}

}  // namespace qrx
