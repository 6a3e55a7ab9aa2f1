#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "tools/decode/Options.h"
#include "tools/decode/formats/Format.h"
#include "tools/decode/inputs/Inputs.h"

namespace qrx {

// The small files the desk hands the decoder besides the data files: a key, a password, its
// own words, the table of --mask-map; and --unmask, which turns a text back with that table.

// A small file whole, a UTF-8 byte order mark dropped; at most `limit` bytes.
Result<std::string> SmallFile(const InputOpener& open, const std::string& path, std::size_t limit);
// The first line of a small file, without its line end; an empty one is an error.
Result<std::string> FirstLine(const InputOpener& open, const std::string& path);
// The lines of a text, each without the spaces around it; empty lines skipped.
std::vector<std::string> Lines(const std::string& text);
// --unmask: the texts given (standard input for none) with every pseudonym of the table turned
// back; returns the exit status.
int Unmask(const DecoderOptions& o, const InputOpener& open, Output& output, std::ostream& err);

}  // namespace qrx
