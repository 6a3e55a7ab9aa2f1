#include "tools/decode/Summary.h"

#include "tools/decode/Escape.h"
#include "tools/decode/Html.h"
#include "tools/decode/Readable.h"

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
}

void SummaryBuilder::Record(const PlacedRecord& r) {
    if (r.kind != PlacedRecord::Kind::Value) {
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
    } else if (cls == "Win32_NetworkAdapter" && r.newInstance) {
        ++summary_.adapters;
    }
}

void SummaryBuilder::Failure(std::size_t line, const std::string& reason) {
    if (line != 0) {
        ++summary_.undecoded;
    } else if (summary_.error.empty()) {
        summary_.error = Shortened(reason, kMaxValueBytes);
    }
}

std::vector<std::string> SummaryCells(const FileSummary& r) {
    if (!r.error.empty()) {
        // Last, where its length widens no column.
        return {r.file, r.time, "", "", "", "", "", "", "読めません: " + r.error};
    }
    return {r.file,
            r.time,
            r.host,
            r.os,
            r.build,
            r.processor,
            GibFromKb(r.memoryKb),
            std::to_string(r.adapters),
            std::to_string(r.undecoded)};
}

std::string SummaryTable(const std::vector<FileSummary>& rows) {
    constexpr std::size_t kColumns = std::size(kSummaryHeadings);
    std::vector<std::vector<std::string>> cells;
    cells.emplace_back(std::begin(kSummaryHeadings), std::end(kSummaryHeadings));
    for (const auto& r : rows) {
        auto& c = cells.emplace_back(SummaryCells(r));
        for (auto& cell : c) {
            cell = Escaped(cell);
        }
    }
    std::vector<std::size_t> widths(kColumns, 0);
    for (const auto& c : cells) {
        for (std::size_t k = 0; k < kColumns; ++k) {
            widths[k] = std::max(widths[k], DisplayWidth(c[k]));
        }
    }
    std::string out;
    for (const auto& c : cells) {
        std::string line;
        for (std::size_t k = 0; k < kColumns; ++k) {
            line += c[k];
            if (k + 1 < kColumns) {
                line.append(widths[k] - DisplayWidth(c[k]) + 2, ' ');
            }
        }
        while (line.ends_with(' ')) {
            line.pop_back();
        }
        out += line + "\n";
    }
    return out;
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
    out += ",\"adapters\":" + std::to_string(r.adapters);
    out += ",\"undecodable\":" + std::to_string(r.undecoded);
    field("error", r.error);
    out += '}';
    return out;
}

}  // namespace qrx
