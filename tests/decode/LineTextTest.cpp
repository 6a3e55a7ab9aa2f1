// How the decoder judges and shows the text of a line: the record shape and terminal escaping,
// both of which look at many bytes at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "collect/CollectionPlan.h"
#include "tests/support/Tables.h"
#include "tools/decode/common/Escape.h"
#include "tools/decode/records/LineDecoder.h"

namespace qrx::test {
namespace {

// The length of the UTF-8 character that begins at `i`; 0 when none does.
std::size_t Utf8At(const std::string& t, std::size_t i) {
    const auto at = [&](std::size_t k) { return k < t.size() ? (t[k] & 0xFF) : 0; };
    const int c = at(i);
    const std::size_t n = c < 0x80   ? 1
                          : c < 0xC2 ? 0
                          : c < 0xE0 ? 2
                          : c < 0xF0 ? 3
                          : c < 0xF5 ? 4
                                     : 0;
    const int low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const int high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    for (std::size_t k = 1; k < n; ++k) {
        if (at(i + k) < (k == 1 ? low : 0x80) || at(i + k) > (k == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return n;
}

// The rule one byte at a time: C0 but TAB and DEL as "\x..", C1 in UTF-8 as "\u00..", a byte
// that is not UTF-8 as "\x..".
std::string EscapedByteByByte(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        char hex[8];
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else if (c == 0xC2 && next >= 0x80 && next < 0xA0) {
            std::snprintf(hex, sizeof hex, "\\u00%02x", next);
            out += hex;
            ++i;
        } else if (const std::size_t n = Utf8At(text, i); n == 0) {
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out.append(text, i, n);
            i += n - 1;
        }
    }
    return out;
}

TEST(Escaping, EveryByteAtEveryPlaceOfAWordIsJudgedAsByteByByte) {
    for (std::size_t length : {1u, 7u, 8u, 9u, 16u, 19u}) {
        for (std::size_t at = 0; at < length; ++at) {
            for (int b = 0; b < 256; ++b) {
                std::string text(length, 'a');
                text[at] = static_cast<char>(b);
                if (at + 1 < length) {
                    text[at + 1] = static_cast<char>(0x80 + (b & 0x3F));  // C1 after 0xC2 or not
                }
                std::string shown = ">";
                AppendEscaped(shown, text);
                ASSERT_EQ(shown, ">" + EscapedByteByByte(text)) << length << " " << at << " " << b;
            }
        }
    }
}

TEST(Escaping, JsonStringsHoldNoControlCharacterAndOnlyUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\"b\\c/", "\"a\\\"b\\\\c/\""},
        {"\t\n\r\x1b\x7f", "\"\\t\\n\\r\\u001b\\u007f\""},
        {"\xc2\x85\xc2\xa0", "\"\\u0085\xc2\xa0\""},
        {"テスト ～ ①髙", "\"テスト ～ ①髙\""},
        {"\xff(\xed\xa0\x80", "\"\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    ExpectEachRow(cases, Appended(AppendJsonString));
}

TEST(RecordShape, ExactlyTheNamesTheProgramRecords) {
    std::set<std::string> classes;
    std::set<std::string> properties;
    std::set<std::string> queried;
    for (const auto& c : CollectionPlan()) {
        classes.emplace(c.name);
        for (const auto& p : c.properties) {
            (p.recorded() ? properties : queried).emplace(p.name);
        }
    }
    // A boolean is only traced, an integer neither recorded nor traced.
    EXPECT_EQ(queried, (std::set<std::string>{"OSLanguage", "PhysicalAdapter"}));
    EXPECT_FALSE(IsRecordText("PhysicalAdapter\tTrue"));
    EXPECT_FALSE(IsRecordText("OSLanguage\t1041"));
    const std::string dashes(10, '-');
    const auto check = [&](const std::set<std::string>& names, auto record) {
        for (const auto& name : names) {
            EXPECT_TRUE(IsRecordText(record(name))) << name;
            for (const std::string& near :
                 {name + "x", "x" + name, name.substr(1), name.substr(0, name.size() - 1)}) {
                if (!classes.contains(near) && !properties.contains(near)) {
                    EXPECT_FALSE(IsRecordText(record(near))) << near;
                }
            }
        }
    };
    check(classes, [&](const std::string& n) { return dashes + n + dashes; });
    check(properties, [](const std::string& n) { return n + "\tvalue"; });
    EXPECT_FALSE(IsRecordText("\tvalue"));
    EXPECT_FALSE(IsRecordText(dashes + dashes));
}

}  // namespace
}  // namespace qrx::test
