#include "collect/basPCInfo.h"

#include "platform/AppError.h"

namespace qrx {

namespace {
const std::string kTenHyphens(10, '-');
const std::string kLabel = "GetInfo() ";
}  // namespace

int PropertyList::UBound() const {
    if (!names_) {
        throw AppError(9, "PropertyList", "インデックスが有効範囲にありません。");
    }
    return static_cast<int>(names_->size()) - 1;
}

const std::string& PropertyList::operator[](int index) const {
    if (!names_ || index < 0 || index >= static_cast<int>(names_->size())) {
        throw AppError(9, "PropertyList", "インデックスが有効範囲にありません。");
    }
    return (*names_)[static_cast<std::size_t>(index)];
}

void basPCInfo::GetInfo(const std::string& className, const PropertyList& properties) {
    const auto first = className.find_first_not_of(' ');
    if (first == std::string::npos) {
        return;
    }
    int upper = -1;
    try {
        upper = properties.UBound();
    } catch (const AppError&) {
        upper = -1;
    }
    if (upper == -1) {
        return;
    }

    data_.WriteData(kTenHyphens + className + kTenHyphens);
    common_.WriteLog(kLabel + kTenHyphens + className + " Start" + kTenHyphens);

    const auto services = wmi_.Bind("winmgmts:");
    const auto instances = services->ExecQuery("SELECT * FROM " + className);
    while (const auto instance = instances->Next()) {
        for (int i = 0; i <= upper; ++i) {
            const std::string& name = properties[i];
            // The property is looked up afresh for every use, as the scripting interface does.
            switch (instance->Property(name).type) {
                case vt::BSTR:
                    data_.WriteData(name + "\t" + instance->Property(name).text);
                    common_.WriteLog(kLabel + name + "\t" + instance->Property(name).text);
                    break;
                case vt::BOOL:
                    common_.WriteLog(kLabel + name + "\t" +
                                     VariantToText(instance->Property(name)));
                    break;
                case vt::ARRAY_VARIANT: {
                    const Variant value = instance->Property(name);
                    for (const Variant& element : value.elements) {
                        const std::string text = VariantToText(element);
                        data_.WriteData(name + "\t" + text);
                        common_.WriteLog(kLabel + name + "\t" + text);
                    }
                    break;
                }
                default:
                    break;
            }
        }
    }
    common_.WriteLog(kLabel + kTenHyphens + className + " E n d" + kTenHyphens);
}

}  // namespace qrx
