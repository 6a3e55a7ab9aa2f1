#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qrx {

// The desk's way back from a pseudonym (--mask-map, --unmask): a text file of one pair a line,
// pseudonym TAB original, with "\\", "\t", "\n" and "\r" escaped; lines starting with "#" are
// comments. It stays with the desk: it holds every personal value that was masked.
using MaskPairs = std::vector<std::pair<std::string, std::string>>;

std::string MaskMapText(const std::map<std::string, std::string>& map);
// False with the number of a line that is no pair.
bool ParseMaskMap(std::string_view text, MaskPairs& pairs, std::size_t& badLine);
// `text` with every pseudonym (ASCII ones in any case) replaced by its original, the longest
// first.
std::string Unmasked(std::string_view text, MaskPairs pairs);

}  // namespace qrx
