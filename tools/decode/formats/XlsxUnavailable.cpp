// --xlsx where the build has no libxlsxwriter (the Windows decoder until it is built for
// mingw-w64): the format is full before it starts, so the decoder stops with the reason.
#include "tools/decode/formats/Formats.h"

namespace qrx {

namespace {

class XlsxUnavailable : public IFormat {
  public:
    void BeginFile(const std::string&, bool) override {}
    void Record(const PlacedRecord&) override {}
    void Failure(std::size_t, const std::string&) override {}
    void EndFile() override {}
    int Finish(int) override { return kExitNotDone; }
    std::string Full() const override {
        return "この復号プログラム (Windows 版) は --xlsx を書けません。--csv をお使いください";
    }
};

}  // namespace

std::unique_ptr<IFormat> MakeXlsxFormat(Output&, const FormatSettings&) {
    return std::make_unique<XlsxUnavailable>();
}

}  // namespace qrx
