#include "tools/decode/inputs/RecordReader.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace qrx {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// 1 for a byte outside the Base64 alphabet and its padding.
constexpr auto kNotBase64 = [] {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        t[c] = IsBase64Char(static_cast<unsigned char>(c)) ? 0 : 1;
    }
    return t;
}();

bool AllBase64(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    unsigned bad = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        bad |= kNotBase64[p[i]] | kNotBase64[p[i + 1]] | kNotBase64[p[i + 2]] |
               kNotBase64[p[i + 3]] | kNotBase64[p[i + 4]] | kNotBase64[p[i + 5]] |
               kNotBase64[p[i + 6]] | kNotBase64[p[i + 7]];
    }
    for (; i < n; ++i) {
        bad |= kNotBase64[p[i]];
    }
    return bad == 0;
}

// The first `c` in [from, end), or end.
const char* Next(const char* from, const char* end, char c) {
    const void* at = std::memchr(from, c, static_cast<std::size_t>(end - from));
    return at == nullptr ? end : static_cast<const char*>(at);
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
    // The next LF and the next CR at or after p, each searched again only once passed, so that
    // a file with only one kind of line end is not searched to its end for the other every line.
    const char* lf = nullptr;
    const char* cr = nullptr;
    while (p < end) {
        if (lf == nullptr || lf < p) {
            lf = Next(p, end, '\n');
        }
        if (cr == nullptr || cr < p) {
            cr = Next(p, end, '\r');
        }
        const char* brk = lf < cr ? lf : cr;
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

void RecordReader::Finish(bool cut) {
    const std::size_t line = breaks_ + 1;
    if (cut) {
        segment_.clear();
    } else if (segmentTooLong_) {
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
    if (AllBase64(body)) {
        Piece(body, first > 0, line);
        return;
    }
    EmitPending();
    decoder_.DecodePlain(text, decoded_);
    sink_(line, decoded_);
}

const DecodedLine& RecordReader::Trial(std::string_view base64) {
    if (!hasTrial_ || trialOf_ != base64) {
        trialOf_.assign(base64);
        decoder_.DecodeCipher(trialOf_, trial_);
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
        if (const Shape shape = ShapeOf(piece, 0);
            shape == Shape::Padded || shape == Shape::Broken) {
            Emit(piece, line);  // a whole line by itself, the common case
            return;
        }
        pending_.assign(piece);
        pendingLine_ = line;
        return;
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
    if (!pending_.empty()) {
        Emit(pending_, pendingLine_);
        pending_.clear();
    }
}

void RecordReader::Emit(std::string_view base64, std::size_t line) {
    if (hasTrial_ && trialOf_ == base64) {
        hasTrial_ = false;
        sink_(line, trial_);
    } else {
        decoder_.DecodeCipher(base64, decoded_);
        sink_(line, decoded_);
    }
}

void RecordReader::Report(std::size_t line, std::string reason) {
    decoded_.kind = DecodedLine::Kind::Failed;
    decoded_.text.clear();
    decoded_.reason = std::move(reason);
    decoded_.unknownClass.clear();
    sink_(line, decoded_);
}

}  // namespace qrx
