#include "tools/decode/records/MaskMap.h"

#include <algorithm>
#include <array>

namespace qrx {

namespace {

void Escape(std::string& out, std::string_view s) {
    for (const char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

bool Unescape(std::string_view s, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size()) {
            return false;
        }
        const char* const from = "\\tnr";
        const char* const to = "\\\t\n\r";
        const auto k = std::string_view(from).find(s[i]);
        if (k == std::string_view::npos) {
            return false;
        }
        out += to[k];
    }
    return true;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string MaskMapText(const std::map<std::string, std::string>& map) {
    std::string out =
        "# QRX_PC_INFO_DECODE --mask-map: 仮の値<TAB>元の値。窓口で保管し、送らないでください。\n"
        "# 戻すとき: QRX_PC_INFO_DECODE --unmask この表 返信.txt\n";
    for (const auto& [pseudonym, original] : map) {
        Escape(out, pseudonym);
        out += '\t';
        Escape(out, original);
        out += '\n';
    }
    return out;
}

bool ParseMaskMap(std::string_view text, MaskPairs& pairs, std::size_t& badLine) {
    pairs.clear();
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const auto end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        const auto tab = line.find('\t');
        std::string pseudonym, original;
        if (tab == std::string_view::npos || !Unescape(line.substr(0, tab), pseudonym) ||
            !Unescape(line.substr(tab + 1), original) || pseudonym.empty()) {
            badLine = number;
            return false;
        }
        pairs.emplace_back(std::move(pseudonym), std::move(original));
    }
    return true;
}

std::string Unmasked(std::string_view text, MaskPairs pairs) {
    std::sort(pairs.begin(), pairs.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    // The pairs by the first byte of their pseudonym, so that each place looks at few.
    std::array<std::vector<const std::pair<std::string, std::string>*>, 256> byFirst;
    for (const auto& p : pairs) {
        byFirst[static_cast<unsigned char>(Lower(p.first[0]))].push_back(&p);
    }
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::pair<std::string, std::string>* found = nullptr;
        for (const auto* p : byFirst[static_cast<unsigned char>(Lower(text[i]))]) {
            const std::string& s = p->first;
            // A pseudonym is a whole word where it begins or ends with a letter or digit.
            const bool starts = !Alnum(s.front()) || i == 0 || !Alnum(text[i - 1]);
            const bool ends =
                !Alnum(s.back()) || i + s.size() >= text.size() || !Alnum(text[i + s.size()]);
            if (starts && ends && i + s.size() <= text.size() &&
                std::equal(s.begin(), s.end(), text.begin() + static_cast<long>(i),
                           [](char a, char b) { return Lower(a) == Lower(b); })) {
                found = p;
                break;
            }
        }
        if (found != nullptr) {
            out += found->second;
            i += found->first.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace qrx
