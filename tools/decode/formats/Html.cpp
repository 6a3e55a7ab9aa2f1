#include "tools/decode/formats/Html.h"

#include <algorithm>
#include <sstream>

#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/Adapters.h"
#include "tools/decode/formats/Formats.h"
#include "tools/decode/formats/Readable.h"

namespace qrx {

namespace {

constexpr const char* kStyle = R"(
body { font-family: "Yu Gothic", Meiryo, "IPAPGothic", "IPAGothic", "Noto Sans CJK JP", sans-serif;
       margin: 1.5em; color: #111; line-height: 1.4; }
h1 { font-size: 1.4em; margin: 0 0 .5em; }
h2 { font-size: 1.2em; border-bottom: 2px solid #345; padding-bottom: .2em; margin-top: 1.5em; }
h2 .time { font-weight: normal; font-size: .85em; margin-left: 1em; color: #444; }
h3 { font-size: 1em; margin: 1.2em 0 .3em; }
table { border-collapse: collapse; margin-bottom: .5em; max-width: 100%; }
th, td { border: 1px solid #889; padding: .2em .5em; text-align: left; vertical-align: top;
         word-break: keep-all; overflow-wrap: break-word; }
th { background: #e8ecf2; font-weight: 600; white-space: nowrap; }
table.index td:first-child { white-space: nowrap; }
ul.values { margin: 0; padding-left: 1.2em; }
.note { color: #444; font-size: .9em; }
.masked { border: 1px solid #a80; background: #fff6e0; padding: .3em .6em; display: inline-block; }
.failures li, .error { color: #a00; }
p.warning { border: 2px solid #b60; background: #fff0c8; padding: .4em .6em; font-weight: 600; }
tr.bad td { background: #fbe3e3; }
p.bad-mark { display: inline-block; color: #fff; background: #a00; font-weight: 600;
             padding: .1em .6em; margin: 0; }
.code { font-family: Consolas, "DejaVu Sans Mono", "Liberation Mono", "Courier New", monospace; }
.readable { color: #444; margin-left: .4em; }
table.index td.n { text-align: right; }
table.diff td.sign { font-family: monospace; font-weight: bold; text-align: center; width: 1.5em; }
tr.added td { background: #e3f4e6; }
tr.removed td { background: #fbe3e3; }
tr.changed td { background: #fff4d2; }
tr.instance td { font-weight: 600; }
p.legend span { display: inline-block; padding: 0 .5em; margin-right: .5em; border: 1px solid #889; }
p.legend .added { background: #e3f4e6; }
p.legend .removed { background: #fbe3e3; }
p.legend .changed { background: #fff4d2; }
@page { size: A4; margin: 15mm; }
@media print {
  body { margin: 0; font-size: 10pt; }
  section + section { break-before: page; }
  h2, h3 { break-after: avoid; }
  tr, li { break-inside: avoid; }
  thead { display: table-header-group; }
  th, tr.added td, tr.removed td, tr.changed td, p.legend span {
    -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  th { background: #eee; }
}
)";

// A value; device ids and paths in a font where "\\" is a backslash, not a yen sign.
std::string Shown(const std::string& value) {
    return value.find('\\') != std::string::npos || value.starts_with('/')
               ? "<span class=\"code\">" + HtmlEscape(value) + "</span>"
               : HtmlEscape(value);
}

void Values(std::ostream& out, const Property* p) {
    if (p == nullptr) {
        return;
    }
    if (p->values.size() == 1 && !p->multiValued) {
        out << Shown(p->values.front());
        if (const std::string readable =
                p->unknown ? std::string() : ReadableValue(p->name, p->values.front());
            !readable.empty()) {
            out << "<span class=\"readable\">(" << HtmlEscape(readable) << ")</span>";
        }
        return;
    }
    out << "<ul class=\"values\">";
    for (const auto& v : p->values) {
        out << "<li>" << Shown(v) << "</li>";
    }
    out << "</ul>";
}

// The network adapters a row each, before the two classes they come from.
void AdapterTable(std::ostream& out, const Collection& c) {
    const std::vector<AdapterRow> rows = AdapterRows(c);
    if (rows.empty()) {
        return;
    }
    out << "<h3>ネットワークアダプター</h3>\n<table class=\"adapters\">\n<thead><tr>";
    for (const char* h : {"番号", "名前", "種類", "MAC アドレス", "IP アドレス", "デバイス ID"}) {
        out << "<th scope=\"col\">" << h << "</th>";
    }
    out << "</tr></thead>\n<tbody>\n";
    for (const auto& r : rows) {
        out << "<tr><td>" << HtmlEscape(r.index) << "</td><td>" << HtmlEscape(r.name) << "</td><td>"
            << HtmlEscape(r.type) << "</td><td>" << HtmlEscape(r.mac) << "</td><td>";
        for (std::size_t k = 0; k < r.addresses.size(); ++k) {
            out << (k == 0 ? "" : "<br>") << HtmlEscape(r.addresses[k]);
        }
        out << "</td><td>" << Shown(r.deviceId) << "</td></tr>\n";
    }
    out << "</tbody>\n</table>\n";
}

constexpr const char* kUnknownHtml = " <span class=\"note\">(このデコーダーの知らない記録)</span>";

// A property's name, marked when the plan does not know it.
std::string Name(const Property& p) {
    return HtmlEscape(p.name) + (p.unknown ? kUnknownHtml : "");
}

void ClassTable(std::ostream& out, const ClassRecords& cls) {
    out << "<h3>" << (cls.name.empty() ? "(クラス見出しのない記録)" : HtmlEscape(cls.name))
        << (cls.unknown ? kUnknownHtml : "") << "</h3>\n";
    if (cls.instances.empty()) {
        out << "<p class=\"note\">インスタンスはありません</p>\n";
    } else if (cls.instances.size() == 1) {
        // One instance: a property per row.
        out << "<table>\n<thead><tr><th>プロパティ</th><th>値</th></tr></thead>\n<tbody>\n";
        for (const auto& p : cls.instances.front().properties) {
            out << "<tr><th scope=\"row\">" << Name(p) << "</th><td>";
            Values(out, &p);
            out << "</td></tr>\n";
        }
        out << "</tbody>\n</table>\n";
    } else {
        // Several: an instance per row, a column for every property any of them has.
        // A property that an earlier instance lacked goes after the one before it.
        std::vector<const Property*> columns;  // the first of each name
        for (const auto& i : cls.instances) {
            auto at = columns.begin();
            for (const auto& p : i.properties) {
                const auto found =
                    std::find_if(columns.begin(), columns.end(),
                                 [&](const Property* c) { return c->name == p.name; });
                at = found != columns.end() ? found + 1 : columns.insert(at, &p) + 1;
            }
        }
        out << "<table>\n<thead><tr><th>#</th>";
        for (const Property* c : columns) {
            out << "<th scope=\"col\">" << Name(*c) << "</th>";
        }
        out << "</tr></thead>\n<tbody>\n";
        for (std::size_t n = 0; n < cls.instances.size(); ++n) {
            out << "<tr><td>" << n + 1 << "</td>";
            for (const Property* c : columns) {
                out << "<td>";
                Values(out, cls.instances[n].Find(c->name));
                out << "</td>";
            }
            out << "</tr>\n";
        }
        out << "</tbody>\n</table>\n";
    }
    if (!cls.unencrypted.empty()) {
        out << "<p class=\"note\">暗号化されずに保存されていた記録:</p>\n<ul class=\"note\">";
        for (const auto& r : cls.unencrypted) {
            out << "<li>" << HtmlEscape(r) << "</li>";
        }
        out << "</ul>\n";
    }
}

}  // namespace

std::string CollectionTime(std::string_view path) {
    const auto slash = path.find_last_of("/\\:");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    // Anywhere in the name: copies keep it ("PC_INFO_… (2).dat", "PC_INFO_… - コピー.dat").
    constexpr std::string_view kPrefix = "PC_INFO_";
    const std::size_t found = name.find(kPrefix);
    if (found == std::string_view::npos || name.size() < found + kPrefix.size() + 12) {
        return {};
    }
    const std::string_view stamp = name.substr(found + kPrefix.size(), 12);
    const std::size_t after = found + kPrefix.size() + 12;
    if (stamp.find_first_not_of("0123456789") != std::string_view::npos ||
        (name.size() > after && name[after] >= '0' && name[after] <= '9')) {
        return {};
    }
    const auto two = [&](int at) { return (stamp[at] - '0') * 10 + (stamp[at + 1] - '0'); };
    const int month = two(2), day = two(4), hour = two(6), minute = two(8), second = two(10);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
        return {};
    }
    // Records of a category command before any collection run carry the zero date.
    if (stamp == "991230000000") {
        return "1899-12-30 00:00:00 (収集の前に書かれた記録)";
    }
    const std::string s(stamp);
    return "20" + s.substr(0, 2) + "-" + s.substr(2, 2) + "-" + s.substr(4, 2) + " " +
           s.substr(6, 2) + ":" + s.substr(8, 2) + ":" + s.substr(10, 2);
}

std::string ShownCollectionTime(std::string_view path) {
    std::string time = CollectionTime(path);
    return time.empty() ? kUnknownTime : time;
}

void WriteHtmlHead(std::ostream& out, const std::string& title, bool masked) {
    out << "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>"
        << HtmlEscape(title) << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n<h1>"
        << HtmlEscape(title) << "</h1>\n";
    if (masked) {
        out << "<p class=\"masked\">個人や会社を特定できる値 (MAC アドレスをどの書き方でも、IP "
               "アドレス、コンピューター名と DNS ドメイン、シリアル番号、UUID、プロダクトキー、"
               "パスのユーザー名、窓口が指定した語) は仮の値に置き換えてあります。ファイルは "
               "PC_INFO_日時.dat の名前か file-1 などで示し、フォルダー名は載せていません。</p>\n";
    }
}

void WriteSummaryIndex(std::ostream& out, const std::vector<FileSummary>& rows) {
    out << "<table class=\"index\">\n<thead><tr>";
    for (const char* h : kSummaryHeadings) {
        out << "<th scope=\"col\">" << h << "</th>";
    }
    out << "</tr></thead>\n<tbody>\n";
    for (std::size_t n = 0; n < rows.size(); ++n) {
        const auto cells = SummaryCells(rows[n]);
        const bool bad = rows[n].undecoded != 0 || !rows[n].error.empty();
        out << (bad ? "<tr class=\"bad\">" : "<tr>");
        for (std::size_t k = 0; k < cells.size(); ++k) {
            const bool number = k >= cells.size() - 2;
            out << (number ? "<td class=\"n\">" : "<td>");
            if (k == 0) {
                out << "<a href=\"#file-" << n + 1 << "\">" << HtmlEscape(cells[k]) << "</a>";
            } else {
                out << HtmlEscape(cells[k]);
            }
            out << "</td>";
        }
        out << "</tr>\n";
    }
    out << "</tbody>\n</table>\n";
}

void WriteHtml(std::ostream& out, const std::vector<Collection>& collections, bool masked,
               const std::vector<FileSummary>& index) {
    WriteHtmlHead(out, "QRX_PC_INFO 収集データ", masked);
    if (collections.size() > 1 && index.size() == collections.size()) {
        WriteSummaryIndex(out, index);
    }
    for (std::size_t n = 0; n < collections.size(); ++n) {
        const Collection& c = collections[n];
        out << "<section id=\"file-" << n + 1 << "\">\n<h2>" << HtmlEscape(c.file);
        out << "<span class=\"time\">収集日時 " << HtmlEscape(ShownCollectionTime(c.file))
            << "</span>";
        out << "</h2>\n";
        // A file with lines that did not decode is marked at a glance, below its name.
        if (const auto bad = std::count_if(c.failures.begin(), c.failures.end(),
                                           [](const LineFailure& f) { return f.line != 0; })) {
            out << "<p class=\"bad-mark\">復号できない行 " << bad << "</p>\n";
        }
        for (const auto& f : c.failures) {
            if (f.line == 0) {
                out << "<p class=\"error\">" << HtmlEscape(f.reason) << "</p>\n";
            }
        }
        if (HasUnknown(c)) {
            out << "<p class=\"warning\">" << kNewerProgram << "</p>\n";
        }
        AdapterTable(out, c);
        for (const auto& cls : c.classes) {
            ClassTable(out, cls);
        }
        if (std::any_of(c.failures.begin(), c.failures.end(),
                        [](const LineFailure& f) { return f.line != 0; })) {
            out << "<h3>復号できなかった行</h3>\n<ul class=\"failures\">\n";
            for (const auto& f : c.failures) {
                if (f.line != 0) {
                    out << "<li>" << f.line << " 行目: " << HtmlEscape(f.reason) << "</li>\n";
                }
            }
            out << "</ul>\n";
        }
        out << "</section>\n";
    }
    out << "</body>\n</html>\n";
}

namespace {

class HtmlFormat : public CollectingFormat {
  public:
    HtmlFormat(Output& out, bool masked) : out_(out), masked_(masked) {}
    void BeginFile(const std::string& name, bool opened) override {
        CollectingFormat::BeginFile(name, opened);
        summary_.BeginFile(name);
    }
    void Record(const PlacedRecord& record) override {
        CollectingFormat::Record(record);
        summary_.Record(record);
    }
    void Failure(std::size_t line, const std::string& reason) override {
        CollectingFormat::Failure(line, reason);
        summary_.Failure(line, reason);
    }
    void EndFile() override {
        CollectingFormat::EndFile();
        index_.push_back(summary_.Summary());
    }
    int Finish(int status) override {
        std::ostringstream page;
        WriteHtml(page, collections_, masked_, index_);
        out_.Text() += page.str();
        return status;
    }

  private:
    Output& out_;
    bool masked_;
    SummaryBuilder summary_;
    std::vector<FileSummary> index_;
};

}  // namespace

std::unique_ptr<IFormat> MakeHtmlFormat(Output& out, const FormatSettings& settings) {
    return std::make_unique<HtmlFormat>(out, settings.masked);
}

}  // namespace qrx
