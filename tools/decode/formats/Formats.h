#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "tools/decode/formats/Format.h"

namespace qrx {

// What a format is made with besides the output.
struct FormatSettings {
    bool several = false;  // more than one data file may come (files, a folder, an archive)
    bool masked = false;   // --mask: the pages say that the values are pseudonyms
    // For a format that writes a file of its own: makes it new, once it is written.
    using Maker = std::function<Result<std::unique_ptr<IByteOutput>>()>;
    Maker create;
};

// One output format of the decoder, as the command line asks for it. A new format is a file of
// its own and a row in FormatRows().
struct FormatRow {
    std::string_view flag;  // its option; empty for the default
    std::string_view with;  // the option that, beside `flag`, asks for this format; or empty
    bool compares;          // reads two data files and writes what differs between them
    // Its entry in the first line of the usage ("--summary [--json]"), or with `ownLine` a line
    // of its own; empty for none.
    std::string_view synopsis;
    bool ownLine;
    std::string_view usage;  // its lines in the usage's list of options, or empty
    std::unique_ptr<IFormat> (*make)(Output& out, const FormatSettings& settings);
    bool writesFile = false;  // `flag` is followed by the name of the file it writes
    // Its output counts the lines that did not decode, or is read in a spreadsheet: standard
    // error shows a few of them a file, then how many more.
    bool fewLineErrors = false;
};

// Every format. Options that no row names together are a usage error.
std::span<const FormatRow> FormatRows();

}  // namespace qrx
