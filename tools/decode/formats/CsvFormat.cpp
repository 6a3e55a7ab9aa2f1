// --csv: a row a record (file, collection time, class, instance, property, value), RFC 4180,
// UTF-8 with a byte-order mark and CR LF, so that a spreadsheet on a Japanese Windows opens it
// as it is. Written class by class as the classes end: memory stays bounded by one class (a
// larger class is labelled in parts).
#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/Formats.h"
#include "tools/decode/formats/Html.h"
#include "tools/decode/records/Diff.h"

namespace qrx {

namespace {

class CsvFormat : public IFormat {
  public:
    static constexpr std::size_t kPartBytes = 2 * 1024 * 1024;

    explicit CsvFormat(Output& out) : out_(out) {
        out_.Text() += "\xEF\xBB\xBF";
        Row({"ファイル", "収集日時", "クラス", "インスタンス", "プロパティ", "値"});
    }

    void BeginFile(const std::string& name, bool) override {
        file_ = name;
        time_ = ShownCollectionTime(name);
        builder_ = std::make_unique<ClassBuilder>(
            [this](ClassRecords&& c, std::size_t) { WriteClass(c); }, kPartBytes);
    }
    void Record(const PlacedRecord& r) override { builder_->Add(r); }
    void Failure(std::size_t, const std::string&) override {}  // on standard error only
    void EndFile() override {
        builder_->Finish();
        builder_.reset();
        out_.Commit();
    }
    int Finish(int status) override { return status; }

  private:
    void WriteClass(const ClassRecords& c) {
        EachLabelledValue(c,
                          [&](const std::string& label, const Property& p, const std::string& v) {
                              Row({file_, time_, c.name, label, Marked(p), v});
                              out_.Commit();
                              return true;
                          });
    }

    void Row(std::initializer_list<std::string_view> fields) {
        std::string& text = out_.Text();
        bool first = true;
        for (const std::string_view f : fields) {
            if (!first) {
                text += ',';
            }
            first = false;
            AppendCsvField(text, f);
        }
        text += "\r\n";
    }

    Output& out_;
    std::string file_;
    std::string time_;
    std::unique_ptr<ClassBuilder> builder_;
};

}  // namespace

std::unique_ptr<IFormat> MakeCsvFormat(Output& out, const FormatSettings&) {
    return std::make_unique<CsvFormat>(out);
}

}  // namespace qrx
