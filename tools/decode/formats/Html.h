#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/decode/common/Escape.h"  // HtmlEscape
#include "tools/decode/formats/Summary.h"
#include "tools/decode/records/RecordModel.h"

namespace qrx {

// The collection time that the data file's name "PC_INFO_YYMMDDhhnnss.dat" holds, as
// "2026-12-06 09:05:07"; empty when the name does not hold one.
std::string CollectionTime(std::string_view path);
// How a collection without a stamp in its name (renamed on the way) is dated in the outputs.
inline constexpr const char* kUnknownTime = "日時不明";
// CollectionTime, else kUnknownTime.
std::string ShownCollectionTime(std::string_view path);

// One self-contained HTML page (no script, nothing loaded from elsewhere) with a section for
// every collection: a table per class, multi-valued properties as lists, the lines that did not
// decode last. With several collections and their summaries, the summaries come first as an
// index that links to the sections.
void WriteHtml(std::ostream& out, const std::vector<Collection>& collections, bool masked,
               const std::vector<FileSummary>& index = {});

// The beginning of a page up to its <h1>, with the note that values are masked.
void WriteHtmlHead(std::ostream& out, const std::string& title, bool masked);

}  // namespace qrx
