#include "tools/decode/RecordReader.h"

#include <algorithm>

namespace qrx {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

RecordReader::Shape RecordReader::ShapeOf(std::string_view base64, std::size_t from) {
    const std::size_t n = base64.size();
    const std::size_t pad = base64.find('=', from);
    const std::size_t padding = pad == std::string_view::npos ? 0 : n - pad;
    if (padding > 2 ||
        (padding > 0 && base64.find_first_not_of('=', pad) != std::string_view::npos)) {
        return Shape::Broken;
    }
    if (n % 4 != 0) {
        return padding > 0 ? Shape::Broken : Shape::Incomplete;
    }
    const std::size_t bytes = n / 4 * 3 - padding;
    if (bytes % 16 != 0) {
        return padding > 0 ? Shape::Broken : Shape::Incomplete;
    }
    return padding > 0 ? Shape::Padded : Shape::Complete;
}

void RecordReader::Feed(const char* data, std::size_t size) {
    const char* p = data;
    const char* const end = data + size;
    if (afterCr_ && p < end && *p == '\n') {
        ++p;  // the LF of a CR LF split between two pieces
    }
    afterCr_ = false;
    while (p < end) {
        const char* brk = std::find_if(p, end, [](char c) { return c == '\n' || c == '\r'; });
        const auto length = static_cast<std::size_t>(brk - p);
        if (brk == end) {
            // The line goes on in the next piece.
            if (!segmentTooLong_) {
                if (segment_.size() + length > kMaxLine) {
                    segmentTooLong_ = true;
                    segment_.clear();
                    segment_.shrink_to_fit();
                } else {
                    segment_.append(p, length);
                }
            }
            return;
        }
        const std::size_t line = breaks_ + 1;
        if (segmentTooLong_ || segment_.size() + length > kMaxLine) {
            EmitPending();
            Report(line, "行が長すぎます (" + std::to_string(kMaxLine) + " バイトを超えています)");
            segment_.clear();
            segmentTooLong_ = false;
        } else if (segment_.empty()) {
            Segment(std::string_view(p, length), line);
        } else {
            segment_.append(p, length);
            Segment(segment_, line);
            segment_.clear();
        }
        ++breaks_;
        p = brk + 1;
        if (*brk == '\r') {
            if (p == end) {
                afterCr_ = true;
            } else if (*p == '\n') {
                ++p;
            }
        }
    }
}

void RecordReader::Finish() {
    const std::size_t line = breaks_ + 1;
    if (segmentTooLong_) {
        EmitPending();
        Report(line, "行が長すぎます (" + std::to_string(kMaxLine) + " バイトを超えています)");
    } else if (!segment_.empty()) {
        Segment(segment_, line);
    }
    segment_.clear();
    segmentTooLong_ = false;
    EmitPending();
}

void RecordReader::Segment(std::string_view text, std::size_t line) {
    // One pass: where the blanks around the text end, and whether all else is Base64.
    std::size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) {
        ++first;
    }
    if (first == text.size()) {
        EmitPending();  // an empty line ends a record
        return;
    }
    std::size_t last = text.size();
    while (IsBlank(text[last - 1])) {
        --last;
    }
    const std::string_view body = text.substr(first, last - first);
    bool base64 = true;
    for (const char c : body) {
        base64 &= IsBase64Char(static_cast<unsigned char>(c));
    }
    if (base64) {
        Piece(body, first > 0, line);
        return;
    }
    EmitPending();
    sink_(line, decoder_.DecodePlain(text));
}

const DecodedLine& RecordReader::Trial(std::string_view base64) {
    if (!hasTrial_ || trialOf_ != base64) {
        trialOf_.assign(base64);
        trial_ = decoder_.DecodeCipher(trialOf_);
        hasTrial_ = true;
    }
    return trial_;
}

bool RecordReader::StandsAlone(std::string_view piece) {
    const Shape shape = ShapeOf(piece, 0);
    return (shape == Shape::Complete || shape == Shape::Padded) &&
           Trial(piece).kind == DecodedLine::Kind::Record;
}

void RecordReader::Piece(std::string_view piece, bool folded, std::size_t line) {
    // What is pending holds no "=": padding would have ended it. So only the new piece needs
    // to be searched for one, which keeps the work linear in the input.
    std::size_t searchFrom = 0;
    if (!pending_.empty()) {
        const Shape shape = ShapeOf(pending_, pending_.size());
        bool join = true;
        if (shape == Shape::Complete && pending_.size() <= kMaxTrial &&
            Trial(pending_).kind == DecodedLine::Kind::Record) {
            // A whole record; a folded piece after it could also have continued it.
            EmitPending();
            if (folded) {
                Report(line, "行の区切りがあいまいです (前の行の続きとも別の行とも読めます)");
            }
            join = false;
        } else if (!folded && StandsAlone(piece)) {
            EmitPending();
            join = false;
        }
        if (join) {
            searchFrom = pending_.size();
            pending_.append(piece);
        }
    }
    if (pending_.empty()) {
        pending_.assign(piece);
        pendingLine_ = line;
    }
    if (pending_.size() > kMaxLine) {
        Report(pendingLine_,
               "行が長すぎます (" + std::to_string(kMaxLine) + " バイトを超えています)");
        pending_.clear();
        return;
    }
    const Shape shape = ShapeOf(pending_, searchFrom);
    if (shape == Shape::Padded || shape == Shape::Broken) {
        EmitPending();
    }
}

void RecordReader::EmitPending() {
    if (pending_.empty()) {
        return;
    }
    DecodedLine decoded;
    if (hasTrial_ && trialOf_ == pending_) {
        decoded = std::move(trial_);
        hasTrial_ = false;
    } else {
        decoded = decoder_.DecodeCipher(pending_);
    }
    const std::size_t line = pendingLine_;
    pending_.clear();
    sink_(line, std::move(decoded));
}

void RecordReader::Report(std::size_t line, std::string reason) {
    DecodedLine d;
    d.reason = std::move(reason);
    sink_(line, std::move(d));
}

}  // namespace qrx
