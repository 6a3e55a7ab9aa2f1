#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "output/Common.h"
#include "output/DataFile.h"
#include "platform/Wmi.h"

namespace qrx {

// An ordered list of WMI property names. A list that was never given a size has no upper
// bound: UBound then fails, as it does for an array that was never dimensioned.
class PropertyList {
  public:
    PropertyList() = default;
    PropertyList(std::initializer_list<std::string> names)
        : names_(std::vector<std::string>(names)) {}

    void Assign(std::vector<std::string> names) { names_ = std::move(names); }
    void Erase() { names_.reset(); }
    // The highest index, -1 for a sized list without elements; throws AppError when unsized.
    int UBound() const;
    const std::string& operator[](int index) const;

  private:
    std::optional<std::vector<std::string>> names_;
};

// Dumps the listed properties of every instance of one WMI class as records and trace lines.
class basPCInfo {
  public:
    basPCInfo(IWmiProvider& wmi, DataFile& data, basCommon& common)
        : wmi_(wmi), data_(data), common_(common) {}

    // Failures of the platform (binding, the query, an unknown class or property) travel to
    // the caller as AppError; what was written before them stays.
    void GetInfo(const std::string& className, const PropertyList& properties);

  private:
    IWmiProvider& wmi_;
    DataFile& data_;
    basCommon& common_;
};

}  // namespace qrx
