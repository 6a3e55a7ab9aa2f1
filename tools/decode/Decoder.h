#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/Crypto.h"
#include "platform/TextCodec.h"

namespace qrx {

// Reads the lines of a data file as the program frames them: a line ends at CR LF, a lone LF
// belongs to the line, and a last line without CR LF still counts.
class LineReader {
  public:
    explicit LineReader(std::istream& in) : in_(in) {}
    // The next line and its number (counting from 1); false at the end.
    bool Next(std::string& line, std::size_t& number);

  private:
    std::istream& in_;
    std::string buffer_;
    std::size_t start_ = 0;
    std::size_t number_ = 0;
    bool eof_ = false;
};

using FileOpener = std::function<std::unique_ptr<std::istream>(const std::string& path)>;

// The support desk's decoder: `[--json] [FILE ...]`, standard input for none or "-". Returns
// 0 when every line decoded, 1 when a line failed, 2 for usage or file errors.
int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               std::istream& in, std::ostream& out, std::ostream& err, const FileOpener& open);

}  // namespace qrx
