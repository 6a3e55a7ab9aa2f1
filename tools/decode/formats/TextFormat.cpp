// The records as text, one a line, as they come: memory stays that of one line.
#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/Formats.h"

namespace qrx {

namespace {

constexpr const char* kUnencryptedMark = "(未暗号化) ";

class TextFormat : public IFormat {
  public:
    TextFormat(Output& out, bool several) : out_(out), several_(several) {}

    void BeginFile(const std::string& name, bool opened) override {
        if (opened && several_) {
            out_.Text() += "==> " + Escaped(name) + " <==\n";
        }
    }
    void Record(const PlacedRecord& r) override {
        std::string& text = out_.Text();
        if (r.unencrypted) {
            text += kUnencryptedMark;
        }
        if (r.unknown) {
            text += kUnknownMark;
        }
        AppendEscaped(text, r.text);
        text += '\n';
        out_.Commit();
    }
    void Failure(std::size_t, const std::string&) override {}  // on standard error only
    void EndFile() override {}
    int Finish(int status) override { return status; }

  private:
    Output& out_;
    bool several_;
};

}  // namespace

std::unique_ptr<IFormat> MakeTextFormat(Output& out, const FormatSettings& settings) {
    return std::make_unique<TextFormat>(out, settings.several);
}

}  // namespace qrx
