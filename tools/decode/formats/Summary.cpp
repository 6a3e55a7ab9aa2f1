#include "tools/decode/formats/Summary.h"

#include <algorithm>

#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/Html.h"
#include "tools/decode/formats/Readable.h"

namespace qrx {

namespace {

void Keep(std::string& to, std::string_view value) {
    if (to.empty()) {
        to = Shortened(value, SummaryBuilder::kMaxValueBytes);
    }
}

}  // namespace

void SummaryBuilder::BeginFile(const std::string& name) {
    summary_ = FileSummary();
    summary_.file = name;
    summary_.time = CollectionTime(name);
    processors_ = 0;
    processor_.clear();
    adapters_.classes.clear();
    unknownClass_ = false;
}

const FileSummary& SummaryBuilder::Summary() {
    summary_.adapterList = AdapterRows(adapters_);
    return summary_;
}

void SummaryBuilder::Record(const PlacedRecord& r) {
    const bool header = r.kind == PlacedRecord::Kind::Header;
    if (header) {
        unknownClass_ = r.unknown;
    }
    if (r.unknown && (header || !unknownClass_)) {
        const std::string name = header || r.className.empty()
                                     ? std::string(header ? r.className : r.property)
                                     : std::string(r.className) + "." + std::string(r.property);
        auto& names = summary_.unknown;
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            if (names.size() < kMaxUnknown) {
                names.push_back(name);
            } else {
                ++summary_.moreUnknown;  // counted once a record
            }
        }
    }
    if (header) {
        return;
    }
    const std::string_view cls = r.className;
    if (cls == "Win32_OperatingSystem") {
        if (r.property == "CSName") {
            Keep(summary_.host, r.value);
        } else if (r.property == "Caption") {
            Keep(summary_.os, r.value);
        } else if (r.property == "BuildNumber") {
            Keep(summary_.build, r.value);
        } else if (r.property == "TotalVisibleMemorySize") {
            Keep(summary_.memoryKb, r.value);
        }
    } else if (cls == "Win32_Processor") {
        processors_ += r.newInstance ? 1 : 0;
        if (r.property == "Name") {
            Keep(processor_, r.value);
        }
        summary_.processor =
            processor_ + (processors_ > 1 ? " ×" + std::to_string(processors_) : "");
    }
    if (cls == "Win32_NetworkAdapter" && r.newInstance) {
        ++summary_.adapters;
    }
    if (cls == "Win32_NetworkAdapter" || cls == "Win32_NetworkAdapterConfiguration") {
        auto& classes = adapters_.classes;
        auto found = std::find_if(classes.begin(), classes.end(),
                                  [&](const ClassRecords& c) { return c.name == cls; });
        if (found == classes.end()) {
            found = classes.insert(classes.end(), ClassRecords{std::string(cls), {}, {}});
        }
        auto& instances = found->instances;
        if ((r.newInstance || instances.empty()) && instances.size() < kMaxAdapters) {
            instances.emplace_back();
        } else if (r.newInstance) {
            return;  // more adapters than a PC has: the rest are counted, not listed
        }
        auto& properties = instances.back().properties;
        if (properties.empty() || properties.back().name != r.property) {
            properties.push_back({std::string(r.property), {}, false});
        }
        if (properties.back().values.size() < 16) {
            properties.back().values.push_back(Shortened(r.value, kMaxValueBytes));
        }
    }
}

void SummaryBuilder::Failure(std::size_t line, const std::string& reason) {
    if (line != 0) {
        ++summary_.undecoded;
    } else if (summary_.error.empty()) {
        summary_.error = Shortened(reason, kMaxValueBytes);
    }
}

namespace {

// What the plan does not know, after the count of lines that did not decode.
std::string UnknownNote(const FileSummary& r) {
    if (r.unknown.empty()) {
        return {};
    }
    std::string note = " (このデコーダーの知らない記録: ";
    for (std::size_t n = 0; n < r.unknown.size(); ++n) {
        note += (n == 0 ? "" : ", ") + r.unknown[n];
    }
    return note + (r.moreUnknown > 0 ? " ほか " + std::to_string(r.moreUnknown) + " 行)" : ")");
}

}  // namespace

std::vector<std::string> SummaryCells(const FileSummary& r) {
    if (!r.error.empty()) {
        // Last, where its length widens no column.
        return {r.file, r.time, "", "", "", "", "", "", "読めません: " + r.error};
    }
    return {r.file,
            r.time.empty() ? kUnknownTime : r.time,
            r.host,
            r.os,
            r.build,
            r.processor,
            GibFromKb(r.memoryKb),
            std::to_string(r.adapters),
            std::to_string(r.undecoded) + UnknownNote(r)};
}

SummaryTable::SummaryTable() : widths_(std::size(kSummaryHeadings), 0) {
    AddCells({std::begin(kSummaryHeadings), std::end(kSummaryHeadings)});
}

void SummaryTable::Add(const FileSummary& row) {
    std::vector<std::string> cells = SummaryCells(row);
    for (auto& cell : cells) {
        // A TAB would shift the columns of whoever reads the table with cut or a spreadsheet.
        cell = Escaped(cell);
        for (auto tab = cell.find('\t'); tab != std::string::npos; tab = cell.find('\t', tab)) {
            cell.replace(tab, 1, "\\x09");
        }
    }
    AddCells(std::move(cells));
}

void SummaryTable::AddCells(std::vector<std::string> cells) {
    for (std::size_t k = 0; k < cells.size(); ++k) {
        widths_[k] = std::max(widths_[k], DisplayWidth(cells[k]));
        cells_.push_back(std::move(cells[k]));
        cells_.back().shrink_to_fit();
    }
}

void SummaryTable::Write(const std::function<void(const std::string& line)>& write) const {
    const std::size_t columns = widths_.size();
    std::string line;
    for (std::size_t at = 0; at < cells_.size(); at += columns) {
        line.clear();
        for (std::size_t k = 0; k < columns; ++k) {
            const std::string& cell = cells_[at + k];
            line += cell;
            if (k + 1 < columns) {
                line.append(widths_[k] - DisplayWidth(cell) + 2, ' ');
            }
        }
        while (line.ends_with(' ')) {
            line.pop_back();
        }
        line += '\n';
        write(line);
    }
}

std::string SummaryJson(const FileSummary& r) {
    std::string out = "{\"file\":";
    AppendJsonString(out, r.file);
    const auto field = [&](const char* name, const std::string& value) {
        out += ",\"";
        out += name;
        out += "\":";
        if (value.empty()) {
            out += "null";
        } else {
            AppendJsonString(out, value);
        }
    };
    field("time", r.time);
    field("host", r.host);
    field("os", r.os);
    field("build", r.build);
    field("processor", r.processor);
    const std::string gib = GibFromKb(r.memoryKb);
    out += ",\"memoryGiB\":" + (gib.empty() ? std::string("null") : gib.substr(0, gib.find(' ')));
    field("memoryKB", r.memoryKb);
    out += ",\"adapters\":" + std::to_string(r.adapters) + ",\"adapterList\":[";
    for (std::size_t n = 0; n < r.adapterList.size(); ++n) {
        const AdapterRow& a = r.adapterList[n];
        out += n == 0 ? "{\"index\":" : ",{\"index\":";
        AppendJsonString(out, a.index);
        for (const auto& [name, value] :
             {std::pair{",\"name\":", &a.name}, std::pair{",\"type\":", &a.type},
              std::pair{",\"mac\":", &a.mac}, std::pair{",\"deviceId\":", &a.deviceId}}) {
            out += name;
            AppendJsonString(out, *value);
        }
        out += ",\"addresses\":[";
        for (std::size_t k = 0; k < a.addresses.size(); ++k) {
            out += k == 0 ? "" : ",";
            AppendJsonString(out, a.addresses[k]);
        }
        out += "]}";
    }
    out += ']';
    out += ",\"undecodable\":" + std::to_string(r.undecoded);
    if (!r.unknown.empty()) {
        out += ",\"unknown\":[";
        for (std::size_t n = 0; n < r.unknown.size(); ++n) {
            out += n == 0 ? "" : ",";
            AppendJsonString(out, r.unknown[n]);
        }
        out += "],\"moreUnknown\":" + std::to_string(r.moreUnknown);
    }
    field("error", r.error);
    out += '}';
    return out;
}

}  // namespace qrx
