// --diff: what changed between two collections, for people.
#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/DiffFormat.h"
#include "tools/decode/formats/Formats.h"

namespace qrx {

namespace {

class DiffTextFormat : public DiffFormat {
  public:
    explicit DiffTextFormat(Output& out) : out_(out) {}

  private:
    void Write(const Collection& old, const Collection& now,
               const std::vector<ClassChange>& changes) override {
        const bool incomplete = !old.failures.empty() || !now.failures.empty();
        std::string& out = out_.Text();
        if (changes.empty() && !incomplete && warnings_.empty()) {
            out += "違いはありません: " + Escaped(old.file) + " と " + Escaped(now.file) + "\n";
            return;
        }
        out += "--- " + Escaped(old.file) + "\n+++ " + Escaped(now.file) + "\n";
        for (const auto& w : warnings_) {
            out += "!! 注意: " + w + "\n";
        }
        for (const Collection* c : {&old, &now}) {
            if (!c->failures.empty()) {
                out += "!! " + Escaped(c->file) + ": 復号できない行が " +
                       std::to_string(c->failures.size()) +
                       " 行あります。比較したのは復号できた記録だけです\n";
            }
        }
        static const char kMark[] = {'+', '-', '~'};
        for (const auto& cls : changes) {
            out += "@@ " + std::string(cls.unknown ? kUnknownMark : "") + Escaped(cls.name) +
                   (cls.kind == ClassChange::Kind::Added     ? " (追加)"
                    : cls.kind == ClassChange::Kind::Removed ? " (削除)"
                                                             : "") +
                   "\n";
            for (const auto& inst : cls.instances) {
                out += kMark[static_cast<int>(inst.kind)];
                out += " " + Escaped(inst.label) + "\n";
                for (const auto& p : inst.properties) {
                    const std::string name =
                        std::string(p.unknown ? kUnknownMark : "") + Escaped(p.name);
                    for (const auto& row : PropertyRows(p)) {
                        if (row.kind == PropertyChange::Kind::Changed) {
                            out += "    ~ " + name + ": " + Escaped(row.old.front()) + " → " +
                                   Escaped(row.now.front()) + "\n";
                            continue;
                        }
                        for (const auto& v : row.old) {
                            out += "    - " + name + ": " + Escaped(v) + "\n";
                        }
                        for (const auto& v : row.now) {
                            out += "    + " + name + ": " + Escaped(v) + "\n";
                        }
                    }
                }
                out_.Commit();
            }
        }
    }

    Output& out_;
};

}  // namespace

std::unique_ptr<IFormat> MakeDiffTextFormat(Output& out, const FormatSettings&) {
    return std::make_unique<DiffTextFormat>(out);
}

}  // namespace qrx
