#include "platform/linux/facts/Dmi.h"

#include "platform/Ascii.h"
#include "platform/linux/facts/Files.h"

namespace qrx {

namespace {
const char* const kDmi = "/sys/class/dmi/id/";
}  // namespace

BaseBoardFacts ReadBaseBoard(const std::string& root) {
    const std::string dmi = root + kDmi;
    return {ReadValue(dmi + "board_vendor"), ReadValue(dmi + "board_name"),
            ReadValue(dmi + "board_version"), ReadValue(dmi + "board_serial")};
}

ProductFacts ReadProduct(const std::string& root) {
    const std::string dmi = root + kDmi;
    ProductFacts product{ReadValue(dmi + "sys_vendor"), ReadValue(dmi + "product_name"),
                         ReadValue(dmi + "product_uuid")};
    if (product.uuid) {
        product.uuid = Upper(*product.uuid);
    }
    return product;
}

}  // namespace qrx
