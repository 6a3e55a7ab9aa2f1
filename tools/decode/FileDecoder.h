#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/decode/Options.h"
#include "tools/decode/formats/Format.h"
#include "tools/decode/inputs/Inputs.h"
#include "tools/decode/records/LineDecoder.h"
#include "tools/decode/records/Mask.h"
#include "tools/decode/records/RecordModel.h"

namespace qrx {

// The way of each data file from bytes to the format: read, frame into lines, decode, hold the
// whole file for masking (which learns from it), place each record by the plan, hand it to the
// format. One object serves every file of a run; what goes wrong is told to `err` and to the
// format, and kept in Status().
class FileDecoder {
  public:
    // Lines of a file that did not decode shown on standard error when the format asks for few.
    static constexpr std::size_t kShownLineErrors = 3;

    // `masker` is null unless the options mask.
    FileDecoder(const DecoderOptions& options, ICryptoProvider& crypto, ITextCodec& codec,
                std::unique_ptr<Masker> masker, IFormat& format, Output& output, std::ostream& err);

    // How a file is named in the outputs: masked, without its folders and personal names.
    std::string Shown(const std::string& path);
    // Decodes one data file, named as shown; false when no more output can be written.
    bool Decode(const std::string& name, IByteInput& input);
    // A file, a folder or an archive that could not be read as a whole. `path` is the name it
    // was found by, which the reason may mention; `as` replaces it there when masking.
    void Unreadable(const std::string& path, const std::string& reason);
    std::string MaskedReason(std::string reason, const std::string& path,
                             const std::string& as) const;

    int Status() const { return status_; }
    LineDecoder& Lines() { return decoder_; }
    // A text of the decoder's own as the outputs show it: masked, without the desk's words.
    std::string Masked(const std::string& text) const {
        return masker_ ? masker_->Words(text) : text;
    }
    // Fails once the format can take no more, with why.
    const Done& Room() const { return room_; }

  private:
    struct HeldLine {
        std::size_t line;
        DecodedLine decoded;
    };
    // Reads the input through `feed` until its end, a failure, or the output can take no more;
    // false when a failure (said already) cut it.
    bool Read(IByteInput& input, const std::string& shownName,
              const std::function<void(const char*, std::size_t)>& feed);
    // A decoded line: held while masking learns the file, else placed at once.
    void Hold(std::size_t line, const DecodedLine& decoded);
    // Masks the held lines with what was learnt from them and places them; false when no more
    // output can be written.
    bool MaskHeld(const std::string& shownName);
    void Place(std::size_t line, const DecodedLine& decoded);
    void Fail(std::size_t line, const std::string& why);

    const DecoderOptions& options_;
    IFormat& format_;
    Output& output_;
    std::ostream& err_;
    LineDecoder decoder_;
    RecordPlacer placer_;
    std::unique_ptr<Masker> masker_;
    MaskedFileNames maskedNames_;
    PlacedRecord placed_;
    std::string masked_;
    std::vector<HeldLine> held_;
    std::size_t heldBytes_ = 0;
    bool tooLarge_ = false;
    std::size_t unknown_ = 0;  // records of the file that the plan does not know
    std::string shownName_;    // of the file being decoded, escaped
    std::vector<char> chunk_;
    std::size_t failedLines_ = 0;  // of the file being decoded
    int status_ = kExitDecoded;
    Done room_;
};

}  // namespace qrx
