#include "tools/decode/FileDecoder.h"

#include <algorithm>

#include "tools/decode/common/Escape.h"
#include "tools/decode/inputs/InputText.h"
#include "tools/decode/inputs/RecordReader.h"

namespace qrx {

namespace {

constexpr std::size_t kInputChunk = 64 * 1024;

}  // namespace

FileDecoder::FileDecoder(const DecoderOptions& options, ICryptoProvider& crypto, ITextCodec& codec,
                         std::unique_ptr<Masker> masker, IFormat& format, Output& output,
                         std::ostream& err)
    : options_(options),
      format_(format),
      output_(output),
      err_(err),
      decoder_(crypto, codec),
      masker_(std::move(masker)),
      chunk_(kInputChunk) {}

std::string FileDecoder::Shown(const std::string& path) {
    if (!options_.mask) {
        return path == "-" ? std::string("(標準入力)") : path;
    }
    return maskedNames_(path, path == "-");
}

std::string FileDecoder::MaskedReason(std::string reason, const std::string& path,
                                      const std::string& as) const {
    for (auto at = options_.mask && !path.empty() ? reason.find(path) : std::string::npos;
         at != std::string::npos; at = reason.find(path, at + as.size())) {
        reason.replace(at, path.size(), as);
    }
    return reason;
}

void FileDecoder::Unreadable(const std::string& path, const std::string& reason) {
    const std::string name = Shown(path);
    const std::string error = masker_ ? masker_->Words(MaskedReason(reason, path, name)) : reason;
    err_ << Escaped(name) << ": " << Escaped(error) << "\n";
    status_ = kExitNotDone;
    format_.BeginFile(name, false);
    format_.Failure(0, error);
    format_.EndFile();
}

bool FileDecoder::Decode(const std::string& name, IByteInput& input) {
    shownName_ = Escaped(name);
    format_.BeginFile(name, true);
    placer_.BeginFile();
    held_.clear();
    heldBytes_ = 0;
    tooLarge_ = false;
    unknown_ = 0;
    failedLines_ = 0;
    RecordReader reader(decoder_,
                        [this](std::size_t line, const DecodedLine& d) { Hold(line, d); });
    InputText text([&](const char* data, std::size_t size) { reader.Feed(data, size); });
    const bool whole =
        Read(input, shownName_, [&](const char* data, std::size_t size) { text.Feed(data, size); });
    if (output_.Failed() || !room_) {
        return false;  // reading stopped in the file, maybe within a line that is not wrong
    }
    text.Finish();
    reader.Finish(!whole);
    if (masker_ && !MaskHeld(shownName_)) {
        return false;
    }
    if (const std::size_t more = failedLines_ - std::min(failedLines_, kShownLineErrors);
        more > 0 && options_.format->fewLineErrors) {
        err_ << shownName_ + ": … ほか " + std::to_string(more) + " 行も復号できません (全部で " +
                    std::to_string(failedLines_) + " 行)\n";
    }
    if (unknown_ > 0) {
        err_ << shownName_ + ": このデコーダーの知らないクラスかプロパティの記録が " +
                    std::to_string(unknown_) +
                    " 行あります。新しいプログラムが書いたファイルかもしれません "
                    "(新しいデコーダーなら読めます)\n";
    }
    format_.EndFile();
    return !output_.Failed() && (room_ = format_.Room());
}

bool FileDecoder::Read(IByteInput& input, const std::string& shownName,
                       const std::function<void(const char*, std::size_t)>& feed) {
    // Each file is capped like an archive's member: a data file is a few KB.
    for (std::size_t total = 0;;) {
        const Result<std::size_t> got = input.Read(chunk_.data(), chunk_.size());
        std::string error;
        if (!got) {
            error = got.failure().Message();
        } else if ((total += *got) > kMaxMemberBytes) {
            error = std::to_string(kMaxMemberBytes / 1024 / 1024) +
                    " MiB を超えるため、それより先は読みません (データファイルは数 KB です)";
        }
        if (!error.empty()) {
            err_ << shownName << ": " << Escaped(error) << "\n";
            status_ = kExitNotDone;
            format_.Failure(0, error);
            return false;
        }
        if (*got == 0 || output_.Failed() || !(room_ = format_.Room())) {
            return true;
        }
        feed(chunk_.data(), *got);
    }
}

// Masking learns the whole file (its host name and serial numbers, which come late) before it
// masks any of it: the lines are held, at most kMaxCollectedBytes of them.
void FileDecoder::Hold(std::size_t line, const DecodedLine& decoded) {
    if (!masker_) {
        return Place(line, decoded);
    }
    heldBytes_ += sizeof(HeldLine) + decoded.text.size() + decoded.reason.size();
    if (tooLarge_ || heldBytes_ > kMaxCollectedBytes) {
        tooLarge_ = true;
        held_.clear();
        return;
    }
    held_.push_back({line, decoded});
}

bool FileDecoder::MaskHeld(const std::string& shownName) {
    if (tooLarge_) {
        const std::string reason = "--mask で扱えるのは 1 ファイル " +
                                   std::to_string(kMaxCollectedBytes / 1024 / 1024) +
                                   " MiB までです (1 回の収集は数 KB です)";
        err_ << shownName << ": " << reason << "\n";
        status_ = kExitNotDone;
        format_.Failure(0, reason);
        return true;
    }
    masker_->ForgetLearned();
    for (const auto& h : held_) {
        if (h.decoded.kind != DecodedLine::Kind::Failed) {
            masker_->Learn(h.decoded.text);
        }
    }
    for (const auto& h : held_) {
        if (h.decoded.kind != DecodedLine::Kind::Failed) {
            masker_->LearnInside(h.decoded.text);
        }
    }
    for (const auto& h : held_) {
        Place(h.line, h.decoded);
        if (output_.Failed()) {
            return false;
        }
        output_.Commit();
    }
    held_.clear();
    return true;
}

void FileDecoder::Place(std::size_t line, const DecodedLine& d) {
    if (d.kind == DecodedLine::Kind::Failed) {
        if (!d.unknownClass.empty()) {
            placer_.UnknownClass(d.unknownClass);
        }
        return Fail(line, d.reason);
    }
    const bool plain = d.kind == DecodedLine::Kind::Unencrypted;
    if (const Done placed = placer_.Place(d.text, plain, line, placed_); !placed) {
        return Fail(line, placed.failure().text);
    }
    unknown_ += placed_.unknown ? 1 : 0;
    if (masker_ && placed_.kind == PlacedRecord::Kind::Value) {
        masked_ = masker_->Record(d.text);
        placed_.text = masked_;
        placed_.property = placed_.text.substr(0, placed_.property.size());
        placed_.value = placed_.text.substr(placed_.property.size() + 1);
    }
    format_.Record(placed_);
}

void FileDecoder::Fail(std::size_t line, const std::string& why) {
    // A reason may quote the file (a class name): masked like a value.
    const std::string reason = masker_ ? masker_->Value("", why) : why;
    // One piece, so that an unbuffered stream writes it at once.
    if (++failedLines_ <= kShownLineErrors || !options_.format->fewLineErrors) {
        err_ << shownName_ + ":" + std::to_string(line) + ": " + Escaped(reason) + "\n";
    }
    status_ = std::max(status_, kExitBadLine);
    format_.Failure(line, reason);
}

}  // namespace qrx
