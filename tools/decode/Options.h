#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Result.h"
#include "tools/decode/formats/Formats.h"
#include "tools/decode/inputs/Inputs.h"

namespace qrx {

// The decoder's command line, parsed once.
struct DecoderOptions {
    const FormatRow* format = &FormatRows()[0];
    bool mask = false;
    std::optional<std::string> maskKey;        // --mask-key; without it --mask draws a random key
    std::optional<std::string> maskKeyFile;    // --mask-key-file: the key is its first line
    std::optional<std::string> maskWordsFile;  // --mask-words: the desk's words, one a line
    std::optional<std::string> maskMapFile;    // --mask-map: the pseudonyms' table, written new
    std::optional<std::string> unmaskMap;      // --unmask: turns texts back with that table
    // --password-file, repeatable: the archives' passwords, one a line, tried in order.
    std::vector<std::string> passwordFiles;
    bool verbose = false;  // --verbose: the files skipped as not data files are named
    std::optional<std::string> formatFile;  // the file of a format that writes one (--xlsx)
    InflateLimits limits;                   // what archives may inflate to; no option changes them
    bool help = false;
    bool version = false;
    // At least one; "-" is standard input, a folder stands for the data files below it, an
    // archive for its data files.
    std::vector<std::string> files;

    bool Diff() const { return format->compares; }
};

// Parses the arguments and applies the rules for combining them. A usage error says what was
// wrong (the arguments escaped for a terminal).
Result<DecoderOptions> ParseDecoderOptions(const std::vector<std::string>& args);

// The usage text of --help and of usage errors.
std::string DecoderUsage();

}  // namespace qrx
