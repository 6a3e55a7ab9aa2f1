// The desk's own words (--mask-words): a company, people, a domain. They are found in any case
// and in full-width or half-width forms (ＡＣＭＥ, ｱｸﾒ), anywhere in a text: Japanese has no
// spaces between words.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "platform/Utf8.h"
#include "tools/decode/records/Mask.h"

namespace qrx {

namespace {

// Half-width katakana U+FF61 to U+FF9F as their full-width forms.
constexpr char16_t kHalfWidth[] = {
    u'。', u'「', u'」', u'、', u'・', u'ヲ', u'ァ', u'ィ', u'ゥ', u'ェ', u'ォ', u'ャ', u'ュ',
    u'ョ', u'ッ', u'ー', u'ア', u'イ', u'ウ', u'エ', u'オ', u'カ', u'キ', u'ク', u'ケ', u'コ',
    u'サ', u'シ', u'ス', u'セ', u'ソ', u'タ', u'チ', u'ツ', u'テ', u'ト', u'ナ', u'ニ', u'ヌ',
    u'ネ', u'ノ', u'ハ', u'ヒ', u'フ', u'ヘ', u'ホ', u'マ', u'ミ', u'ム', u'メ', u'モ', u'ヤ',
    u'ユ', u'ヨ', u'ラ', u'リ', u'ル', u'レ', u'ロ', u'ワ', u'ン', u'゛', u'゜'};

// The code point at `at` (UTF-8) and its length; a stray byte stands for itself.
char32_t Next(std::string_view s, std::size_t at, std::size_t& size) {
    const auto b = static_cast<unsigned char>(s[at]);
    size = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (size == 1 || at + size > s.size()) {
        size = 1;
        return b;
    }
    char32_t c = b & (0x7F >> size);
    for (std::size_t k = 1; k < size; ++k) {
        c = c << 6 | (static_cast<unsigned char>(s[at + k]) & 0x3F);
    }
    return c;
}

// A voiced (゛) or semi-voiced (゜) mark joined to the kana before it, or 0.
char32_t Voiced(char32_t base, char32_t mark) {
    constexpr std::u16string_view kVoiced = u"カキクケコサシスセソタチツテトハヒフヘホ";
    constexpr std::u16string_view kSemiVoiced = u"ハヒフヘホ";
    if (mark == u'゛') {
        return base == u'ウ'                                               ? u'ヴ'
               : kVoiced.find(static_cast<char16_t>(base)) != kVoiced.npos ? base + 1
                                                                           : 0;
    }
    return kSemiVoiced.find(static_cast<char16_t>(base)) != kSemiVoiced.npos ? base + 2 : 0;
}

// The text folded for matching: full-width ASCII as ASCII, half-width katakana as full-width
// (a voiced mark joined), letters in lower case. `from` gets, for each byte of the result, the
// offset in `text` of the character it came from.
std::string Fold(std::string_view text, std::vector<std::size_t>* from) {
    std::string out;
    for (std::size_t at = 0, size = 0; at < text.size(); at += size) {
        char32_t c = Next(text, at, size);
        if (c >= 0xFF01 && c <= 0xFF5E) {
            c -= 0xFF01 - 0x21;
        } else if (c == 0x3000) {
            c = ' ';
        } else if (c >= 0xFF61 && c <= 0xFF9F) {
            c = kHalfWidth[c - 0xFF61];
            if (std::size_t markSize = 0; at + size < text.size()) {
                const char32_t mark = Next(text, at + size, markSize);
                const char32_t joined =
                    mark == 0xFF9E || mark == 0xFF9F ? Voiced(c, kHalfWidth[mark - 0xFF61]) : 0;
                if (joined != 0) {
                    c = joined;
                    size += markSize;
                }
            }
        }
        if (c >= 'A' && c <= 'Z') {
            c += 'a' - 'A';
        }
        const std::size_t before = out.size();
        AppendUtf8(out, c);
        if (from != nullptr) {
            from->insert(from->end(), out.size() - before, at);
        }
    }
    return out;
}

}  // namespace

void Masker::SetWords(const std::vector<std::string>& words) {
    words_.clear();
    for (const auto& w : words) {
        if (std::string folded = Fold(w, nullptr); !folded.empty()) {
            words_.push_back(std::move(folded));
        }
    }
    // The longest first: "山田太郎" before "山田".
    std::sort(words_.begin(), words_.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

std::string Masker::Words(std::string_view text) const {
    if (words_.empty() || text.empty()) {
        return std::string(text);
    }
    std::vector<std::size_t> from;
    const std::string folded = Fold(text, &from);
    from.push_back(text.size());
    // Where each word is, in the text's own bytes; the first word found wins an overlap.
    struct Span {
        std::size_t begin, end;
        const std::string* word;
    };
    std::vector<Span> spans;
    for (const auto& w : words_) {
        for (auto at = folded.find(w); at != std::string::npos; at = folded.find(w, at + 1)) {
            const Span s{from[at], from[at + w.size()], &w};
            if (std::none_of(spans.begin(), spans.end(),
                             [&](const Span& o) { return s.begin < o.end && o.begin < s.end; })) {
                spans.push_back(s);
            }
        }
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    std::string out;
    std::size_t done = 0;
    for (const auto& s : spans) {
        out.append(text.substr(done, s.begin - done));
        // One pseudonym whichever form the word had; the original form goes to the map.
        const std::string pseudonym = Text("word", *s.word);
        if (map_ != nullptr) {
            (*map_)[pseudonym] = text.substr(s.begin, s.end - s.begin);
        }
        out += pseudonym;
        done = s.end;
    }
    out.append(text.substr(done));
    return out;
}

}  // namespace qrx
