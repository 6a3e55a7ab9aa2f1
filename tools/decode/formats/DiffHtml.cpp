// --diff --html: what changed between two collections as a page to paste into a ticket. Every
// changed row is marked by its colour and by a sign ("+", "−", "~"), so that it reads the same
// printed in black and white.
#include <sstream>

#include "tools/decode/formats/DiffFormat.h"
#include "tools/decode/formats/Formats.h"
#include "tools/decode/formats/Html.h"

namespace qrx {

namespace {

constexpr const char* kRow[] = {"added", "removed", "changed"};
constexpr const char* kSign[] = {"+", "−", "~"};
constexpr const char* kWord[] = {"追加", "削除", "変更"};
constexpr const char* kMark = " <span class=\"note\">(このデコーダーの知らない記録)</span>";

template <typename Kind>
int Index(Kind k) {
    return static_cast<int>(k);
}

std::string Joined(const std::vector<std::string>& values) {
    std::string out;
    for (const auto& v : values) {
        out += (out.empty() ? "" : "<br>") + HtmlEscape(v);
    }
    return out;
}

class DiffHtmlFormat : public DiffFormat {
  public:
    DiffHtmlFormat(Output& out, bool masked) : out_(out), masked_(masked) {}

  private:
    void Write(const Collection& old, const Collection& now,
               const std::vector<ClassChange>& changes) override {
        std::ostringstream out;
        WriteHtmlHead(out, "QRX_PC_INFO 収集データの違い", masked_);
        out << "<table class=\"files\">\n<tbody>\n";
        for (const auto* c : {&old, &now}) {
            out << "<tr><th scope=\"row\">" << (c == &old ? "旧" : "新") << "</th><td>"
                << HtmlEscape(c->file) << "</td><td>収集日時 "
                << HtmlEscape(ShownCollectionTime(c->file)) << "</td></tr>\n";
        }
        out << "</tbody>\n</table>\n";
        for (const auto& w : warnings_) {
            out << "<p class=\"warning\">注意: " << HtmlEscape(w) << "</p>\n";
        }
        for (const auto* c : {&old, &now}) {
            if (!c->failures.empty()) {
                out << "<p class=\"error\">" << HtmlEscape(c->file) << ": 復号できない行が "
                    << c->failures.size()
                    << " 行あります。比較したのは復号できた記録だけです</p>\n";
            }
        }
        if (changes.empty()) {
            out << "<p>違いはありません。</p>\n</body>\n</html>\n";
            out_.Text() += out.str();
            return;
        }
        out << "<p class=\"legend\">";
        for (int k = 0; k < 3; ++k) {
            out << "<span class=\"" << kRow[k] << "\">" << kSign[k] << " " << kWord[k] << "</span>";
        }
        out << "</p>\n";
        for (const auto& cls : changes) {
            out << "<div class=\"class\">\n<h3>" << HtmlEscape(cls.name)
                << (cls.unknown ? kMark : "");
            if (cls.kind != ClassChange::Kind::Changed) {
                out << " (" << kWord[Index(cls.kind)] << ")";
            }
            out << "</h3>\n<table class=\"diff\">\n<thead><tr><th></th><th>インスタンス・"
                   "プロパティ</th><th>旧</th><th>新</th></tr></thead>\n<tbody>\n";
            for (const auto& inst : cls.instances) {
                const int k = Index(inst.kind);
                out << "<tr class=\"instance " << kRow[k] << "\"><td class=\"sign\">" << kSign[k]
                    << "</td><td colspan=\"3\">" << HtmlEscape(inst.label) << "</td></tr>\n";
                for (const auto& p : inst.properties) {
                    for (const auto& row : PropertyRows(p)) {
                        const int rk = Index(row.kind);
                        out << "<tr class=\"" << kRow[rk] << "\"><td class=\"sign\">" << kSign[rk]
                            << "</td><td>" << HtmlEscape(p.name) << (p.unknown ? kMark : "")
                            << "</td><td>" << Joined(row.old) << "</td><td>" << Joined(row.now)
                            << "</td></tr>\n";
                    }
                }
            }
            out << "</tbody>\n</table>\n</div>\n";
        }
        out << "</body>\n</html>\n";
        out_.Text() += out.str();
    }

    Output& out_;
    bool masked_;
};

}  // namespace

std::unique_ptr<IFormat> MakeDiffHtmlFormat(Output& out, const FormatSettings& settings) {
    return std::make_unique<DiffHtmlFormat>(out, settings.masked);
}

}  // namespace qrx
