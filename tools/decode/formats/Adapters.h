#pragma once

#include <string>
#include <vector>

#include "tools/decode/records/RecordModel.h"

namespace qrx {

// One network adapter as the desk asks about it (and as Windows lists adapters): the two
// classes the file holds for adapters paired up, the configuration (Caption "[index]
// description") with the adapter whose Description matches, in file order where several match.
struct AdapterRow {
    std::string index;  // from the Caption, without its zeros ("11")
    std::string name;
    std::string type;
    std::string mac;
    std::vector<std::string> addresses;
    std::string deviceId;
};

std::vector<AdapterRow> AdapterRows(const Collection& c);

}  // namespace qrx
