#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tools/decode/formats/Adapters.h"
#include "tools/decode/records/RecordModel.h"

namespace qrx {

// One file in a line: what a desk looks at first.
struct FileSummary {
    std::string file;
    std::string time;       // from the file name, empty when it has no stamp (kUnknownTime shown)
    std::string host;       // CSName
    std::string os;         // Caption of the operating system
    std::string build;      // BuildNumber
    std::string processor;  // the first processor's Name, with "×N" for N processors
    std::string memoryKb;   // TotalVisibleMemorySize as recorded
    std::size_t adapters = 0;             // instances of Win32_NetworkAdapter
    std::vector<AdapterRow> adapterList;  // the adapters a row each, at most kMaxAdapters
    std::size_t undecoded = 0;            // lines that did not decode
    // The classes ("Win32_VideoController") and properties ("Win32_Processor.L2CacheSize") that
    // the plan does not know, at most kMaxUnknown, and how many records of others there are.
    std::vector<std::string> unknown;
    std::size_t moreUnknown = 0;
    std::string error;  // why the file could not be read, or empty
};

// Builds the summary of a file from its records as they pass, keeping nothing else; each value
// is kept to kMaxValueBytes.
class SummaryBuilder {
  public:
    static constexpr std::size_t kMaxValueBytes = 200;
    static constexpr std::size_t kMaxAdapters = 64;  // instances of each adapter class kept
    static constexpr std::size_t kMaxUnknown = 8;

    void BeginFile(const std::string& name);
    void Record(const PlacedRecord& record);
    void Failure(std::size_t line, const std::string& reason);
    const FileSummary& Summary();

  private:
    FileSummary summary_;
    Collection adapters_;  // the two adapter classes, their values shortened
    std::size_t processors_ = 0;
    std::string processor_;
    bool unknownClass_ = false;  // the records come in a class that the plan does not know
};

// The summaries as an aligned table for a terminal, values escaped, a header line first. It
// keeps the cells of every row (a few hundred bytes a file) until the widths are known.
class SummaryTable {
  public:
    SummaryTable();
    void Add(const FileSummary& row);
    // Hands over each line with its line end.
    void Write(const std::function<void(const std::string& line)>& line) const;

  private:
    void AddCells(std::vector<std::string> cells);
    std::vector<std::string> cells_;  // row after row
    std::vector<std::size_t> widths_;
};
// A summary as one JSON object, without a line end.
std::string SummaryJson(const FileSummary& row);
// The column headings, shared by the table and the HTML index.
inline constexpr const char* kSummaryHeadings[] = {"ファイル", "収集日時",   "コンピューター名",
                                                   "OS",       "ビルド",     "プロセッサー",
                                                   "メモリ",   "アダプター", "復号できない行"};
// The cells of a row in the order of the headings (memory in GiB, an error in the last place).
std::vector<std::string> SummaryCells(const FileSummary& row);

}  // namespace qrx
