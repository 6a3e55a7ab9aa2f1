#pragma once

#include <optional>
#include <string>

namespace qrx {

// The firmware's tables as /sys/class/dmi/id shows them; a value only root may read is null for
// everyone else.
struct BaseBoardFacts {
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> version;
    std::optional<std::string> serial;
};

struct ProductFacts {
    std::optional<std::string> vendor;
    std::optional<std::string> name;
    std::optional<std::string> uuid;  // upper case
};

BaseBoardFacts ReadBaseBoard(const std::string& root);
ProductFacts ReadProduct(const std::string& root);

}  // namespace qrx
