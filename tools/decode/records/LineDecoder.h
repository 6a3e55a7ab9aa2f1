#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "cipher/CipherEngine.h"
#include "platform/Crypto.h"
#include "platform/TextCodec.h"

namespace qrx {

// What one line of a data file holds.
struct DecodedLine {
    enum class Kind { Record, Unencrypted, Failed };
    Kind kind = Kind::Failed;
    std::string text;    // the record text, UTF-8 (Record, Unencrypted)
    std::string reason;  // why the line could not be decoded (Failed)
    // Failed: the line is the header of a class that the program does not write, this one.
    std::string unknownClass;
    // Record, Unencrypted: a class or property that this decoder does not know, in the shape the
    // program writes: a newer program may record more.
    bool unknown = false;
};

// Whether a text has the shape of a record the program writes: a class header of a class it
// queries (ten "-", the class name, ten "-"), or the name of a property it records, a TAB and
// the value.
bool IsRecordText(std::string_view text);

// Known: IsRecordText. Unknown: the same shape with a name that the plan does not hold, a name
// such as WMI gives (a letter or "_", then letters, digits and "_", at most kMaxNameBytes).
enum class RecordShape { None, Known, Unknown };
inline constexpr std::size_t kMaxNameBytes = 64;
RecordShape ShapeOfRecord(std::string_view text);

// Turns data-file lines back into record texts with the program's key and IV. A failure is
// reported in the result, never as text that looks like a record.
class LineDecoder {
  public:
    LineDecoder(ICryptoProvider& crypto, ITextCodec& codec);

    // A cipher line: Base64 without whitespace. `out` is overwritten, its storage reused.
    void DecodeCipher(std::string_view base64, DecodedLine& out);
    // A line that the program wrote without encrypting it: a record in UTF-8 (Linux) or code
    // page 932 (Windows), without control characters other than TAB.
    void DecodePlain(std::string_view line, DecodedLine& out);
    // Either, as the line's characters tell.
    DecodedLine Decode(std::string_view line);

  private:
    ITextCodec& codec_;
    AesCbcEngine engine_;
    AesCbcEngine::Decryptor decryptor_;
    MaybeFailure openFailure_;
    Bytes iv_;
    Bytes buffer_;  // a cipher line's bytes at its start, its storage kept for the next line
    Bytes data_;    // the plaintext of a line from its first byte that is not ASCII
    std::string converted_;
};

// Whether a byte belongs to the Base64 alphabet or is its padding.
constexpr bool IsBase64Char(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=';
}

}  // namespace qrx
