#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/decode/Records.h"

namespace qrx {

// Text for HTML element content and attribute values: markup characters as references,
// control characters shown as "\x1b", bytes that are not UTF-8 as U+FFFD.
std::string HtmlEscape(std::string_view text);

// The collection time that the data file's name "PC_INFO_YYMMDDhhnnss.dat" holds, as
// "2026-12-06 09:05:07"; empty when the name does not hold one.
std::string CollectionTime(std::string_view path);

// One self-contained HTML page (no script, nothing loaded from elsewhere) with a section for
// every collection: a table per class, arrays as lists, the lines that did not decode last.
void WriteHtml(std::ostream& out, const std::vector<Collection>& collections, bool masked);

}  // namespace qrx
