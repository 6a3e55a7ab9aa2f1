#include "platform/Wmi.h"

namespace qrx {

std::string VariantToText(const Variant& v) {
    switch (v.type) {
        case vt::BSTR:
            return v.text;
        case vt::BOOL:
            return v.boolean ? "True" : "False";
        case vt::EMPTY:
        case vt::NULL_:
            return {};
        default:
            if ((v.type & 0x2000) != 0) {
                return {};
            }
            return std::to_string(v.integer);
    }
}

}  // namespace qrx
