#include "tools/decode/RecordGrouping.h"

#include <algorithm>

#include "tools/decode/LineDecoder.h"

namespace qrx {

void RecordGrouper::Add(std::string_view record, bool unencrypted) {
    const std::string_view header = ClassOfHeader(record);
    if (!header.empty() || (open_ && bytes_ > kMaxClassBytes)) {
        const std::string name = header.empty() ? class_.name : std::string(header);
        Flush();
        class_.name = name;
        open_ = true;
        if (!header.empty()) {
            if (unencrypted) {
                class_.unencrypted.emplace_back(record);
            }
            return;
        }
    }
    open_ = true;
    bytes_ += record.size();
    const auto tab = record.find('\t');
    const std::string_view name = record.substr(0, tab);
    const std::string_view value =
        tab == std::string_view::npos ? std::string_view() : record.substr(tab + 1);
    if (!instance_.empty() && instance_.back().name == name) {
        instance_.back().values.emplace_back(value);
    } else {
        const bool seen = std::any_of(instance_.begin(), instance_.end(),
                                      [&](const auto& p) { return p.name == name; });
        if (seen) {
            class_.instances.push_back(std::move(instance_));
            instance_.clear();
        }
        instance_.push_back({std::string(name), {std::string(value)}});
    }
    if (unencrypted) {
        class_.unencrypted.emplace_back(record);
    }
}

void RecordGrouper::Finish() {
    Flush();
}

void RecordGrouper::Flush() {
    if (!open_) {
        return;
    }
    if (!instance_.empty()) {
        class_.instances.push_back(std::move(instance_));
    }
    sink_(std::move(class_));
    class_ = GroupedClass();
    instance_.clear();
    open_ = false;
    bytes_ = 0;
}

}  // namespace qrx
