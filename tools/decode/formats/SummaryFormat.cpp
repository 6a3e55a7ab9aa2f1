// --summary: one line a file. The text table is aligned, so it is written at the end from the
// cells of the rows, a few short values each; --json writes each file's object as it ends.
#include "tools/decode/formats/Formats.h"
#include "tools/decode/formats/Summary.h"

namespace qrx {

namespace {

class SummaryFormat : public IFormat {
  public:
    SummaryFormat(Output& out, bool json) : out_(out), json_(json) {}

    void BeginFile(const std::string& name, bool) override { builder_.BeginFile(name); }
    void Record(const PlacedRecord& r) override { builder_.Record(r); }
    void Failure(std::size_t line, const std::string& reason) override {
        builder_.Failure(line, reason);
    }
    void EndFile() override {
        if (json_) {
            out_.Text() += SummaryJson(builder_.Summary()) + "\n";
            out_.Commit();
        } else {
            table_.Add(builder_.Summary());
        }
    }
    int Finish(int status) override {
        if (!json_) {
            table_.Write([this](const std::string& line) {
                out_.Text() += line;
                out_.Commit();
            });
        }
        return status;
    }

  private:
    Output& out_;
    bool json_;
    SummaryBuilder builder_;
    SummaryTable table_;
};

}  // namespace

std::unique_ptr<IFormat> MakeSummaryTextFormat(Output& out, const FormatSettings&) {
    return std::make_unique<SummaryFormat>(out, false);
}

std::unique_ptr<IFormat> MakeSummaryJsonFormat(Output& out, const FormatSettings&) {
    return std::make_unique<SummaryFormat>(out, true);
}

}  // namespace qrx
