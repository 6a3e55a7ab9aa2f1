#include "tools/decode/formats/Readable.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "platform/Utf8.h"

namespace qrx {

namespace {

struct Named {
    unsigned code;
    const char* name;
};

constexpr Named kLocales[] = {
    {0x0411, "日本語 (日本)"},         {0x0409, "英語 (米国)"},
    {0x0809, "英語 (英国)"},           {0x0c09, "英語 (オーストラリア)"},
    {0x1009, "英語 (カナダ)"},         {0x4009, "英語 (インド)"},
    {0x0804, "中国語 (中国)"},         {0x0404, "中国語 (台湾)"},
    {0x0c04, "中国語 (香港)"},         {0x1004, "中国語 (シンガポール)"},
    {0x0412, "韓国語 (韓国)"},         {0x0407, "ドイツ語 (ドイツ)"},
    {0x040c, "フランス語 (フランス)"}, {0x0c0a, "スペイン語 (スペイン)"},
    {0x0410, "イタリア語 (イタリア)"}, {0x0416, "ポルトガル語 (ブラジル)"},
    {0x0419, "ロシア語 (ロシア)"},     {0x041e, "タイ語 (タイ)"},
    {0x042a, "ベトナム語 (ベトナム)"}, {0x0421, "インドネシア語 (インドネシア)"},
    {0x0413, "オランダ語 (オランダ)"}, {0x0464, "フィリピン語 (フィリピン)"},
};

constexpr Named kCountries[] = {
    {81, "日本"},         {1, "北米 (米国・カナダ)"},
    {44, "英国"},         {61, "オーストラリア"},
    {91, "インド"},       {86, "中国"},
    {886, "台湾"},        {852, "香港"},
    {65, "シンガポール"}, {82, "韓国"},
    {49, "ドイツ"},       {33, "フランス"},
    {34, "スペイン"},     {39, "イタリア"},
    {55, "ブラジル"},     {7, "ロシア"},
    {66, "タイ"},         {84, "ベトナム"},
    {62, "インドネシア"}, {31, "オランダ"},
    {63, "フィリピン"},
};

template <std::size_t N>
std::string Find(const Named (&table)[N], std::string_view text, int base) {
    unsigned code = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), code, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return {};
    }
    for (const auto& n : table) {
        if (n.code == code) {
            return n.name;
        }
    }
    return {};
}

bool Wide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

std::string GibFromKb(std::string_view kb) {
    unsigned long long value = 0;
    const auto [end, ec] = std::from_chars(kb.data(), kb.data() + kb.size(), value);
    if (kb.empty() || ec != std::errc() || end != kb.data() + kb.size()) {
        return {};
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(value) / (1024.0 * 1024.0));
    return text;
}

std::string LocaleName(std::string_view hexLcid) {
    return hexLcid.size() == 4 ? Find(kLocales, hexLcid, 16) : std::string();
}

std::string OsLanguageName(std::string_view decimalLcid) {
    return Find(kLocales, decimalLcid, 10);
}

std::string CountryName(std::string_view code) {
    return Find(kCountries, code, 10);
}

std::string ReadableValue(std::string_view property, std::string_view value) {
    if (property == "TotalVisibleMemorySize") {
        return GibFromKb(value);
    }
    if (property == "Locale") {
        return LocaleName(value);
    }
    if (property == "OSLanguage") {
        return OsLanguageName(value);
    }
    if (property == "CountryCode") {
        return CountryName(value);
    }
    return {};
}

std::size_t DisplayWidth(std::string_view utf8) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Char ch = DecodeUtf8(utf8, i);
        width += ch.valid && Wide(static_cast<char32_t>(ch.code)) ? 2 : 1;
        i += std::max<std::size_t>(ch.length, 1);
    }
    return width;
}

std::string Shortened(std::string_view utf8, std::size_t bytes) {
    if (utf8.size() <= bytes) {
        return std::string(utf8);
    }
    std::size_t end = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t length = std::max<std::size_t>(DecodeUtf8(utf8, i).length, 1);
        if (i + length > bytes) {
            break;
        }
        i += length;
        end = i;
    }
    return std::string(utf8.substr(0, end)) + "…";
}

}  // namespace qrx
