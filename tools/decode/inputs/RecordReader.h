#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/RecordLimits.h"
#include "tools/decode/records/LineDecoder.h"

namespace qrx {

// Frames the bytes of one data file into its lines and decodes them.
//
// A line ends at CR LF, LF or CR, so that files whose line ends were changed in transfer read
// the same. A cipher line is the Base64 of a whole number of 16-byte blocks and holds no
// whitespace, and that decides where a record ends when a line was wrapped or folded:
// - pieces are joined until they hold a whole number of blocks; "=" padding ends a record;
// - a piece that follows a line break and spaces or TABs continues the record before it;
// - where a whole number of blocks without padding could end a record or go on (lines wrapped
//   at a multiple of 64 columns), the record ends when it decodes by itself (tried up to
//   kMaxTrial characters);
// - a piece that decodes to a record by itself starts a new record, also after a broken one.
// A break followed by spaces or TABs right after a complete record is reported as ambiguous.
//
// A line longer than kMaxLine bytes cannot be a record; it is reported and skipped without
// being kept. Memory is bounded by a few times kMaxLine.
class RecordReader {
  public:
    // 64 KiB, and never less than the longest line the Linux program can write.
    static constexpr std::size_t kMaxLine =
        std::max<std::size_t>(64 * 1024, MaxDataLineBytes(kMaxStandInRecordBytes));
    // Joined pieces longer than this are not tried as a record on their own at a block
    // boundary without padding; this bounds the work on input that never decodes.
    static constexpr std::size_t kMaxTrial = 4 * 1024;

    // Receives every record and every failure with the number of the line where it begins. The
    // line is the reader's and valid only during the call.
    using Sink = std::function<void(std::size_t line, const DecodedLine& decoded)>;

    RecordReader(LineDecoder& decoder, Sink sink) : decoder_(decoder), sink_(std::move(sink)) {}

    // The next bytes of the file, in pieces of any size.
    void Feed(const char* data, std::size_t size);
    // The end of the file; `cut` when reading stopped early (an error already said why): the
    // line it cut is dropped, not reported as damage.
    void Finish(bool cut = false);

  private:
    enum class Shape { Incomplete, Complete, Padded, Broken };
    // The shape of Base64 text that holds no "=" before `from`.
    static Shape ShapeOf(std::string_view base64, std::size_t from);

    void Segment(std::string_view text, std::size_t line);
    void Piece(std::string_view piece, bool folded, std::size_t line);
    // Decodes a Base64 text, keeping the result for the same text.
    const DecodedLine& Trial(std::string_view base64);
    bool StandsAlone(std::string_view piece);
    void EmitPending();
    // Hands the record of a Base64 text to the sink.
    void Emit(std::string_view base64, std::size_t line);
    void Report(std::size_t line, std::string reason);

    LineDecoder& decoder_;
    Sink sink_;

    std::string segment_;  // the current line when it spans pieces of input
    bool segmentTooLong_ = false;
    bool afterCr_ = false;
    std::size_t breaks_ = 0;  // line breaks seen: the current line is number breaks_ + 1

    std::string pending_;  // Base64 of the record being joined
    std::size_t pendingLine_ = 0;

    std::string trialOf_;
    DecodedLine trial_;
    bool hasTrial_ = false;

    DecodedLine decoded_;  // the line handed to the sink, its storage reused
};

}  // namespace qrx
