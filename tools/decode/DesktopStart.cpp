#include "tools/decode/DesktopStart.h"

#include <algorithm>
#include <memory>
#include <ostream>

#include "tools/decode/Options.h"
#include "tools/decode/common/Escape.h"

namespace qrx {

namespace {

constexpr const char* kDropHelp =
    "QRX_PC_INFO_DECODE: データファイル (PC_INFO_*.dat)、それを入れたフォルダーや圧縮ファイルを、"
    "エクスプローラーでこのプログラムのアイコンにドラッグ＆ドロップしてください。\n"
    "内容を HTML の報告にして、ブラウザーで開きます (コマンド "
    "プロンプトからの使い方は上のとおりです)。\n";
constexpr const char* kPressEnter = "\nEnter キーを押すと閉じます。\n";
// Reports left in the temporary folder by earlier runs keep their names: a new one is made
// beside them.
constexpr int kMaxReportNames = 1000;

// Counts what goes through to the report's file.
class CountingOutput : public IByteOutput {
  public:
    explicit CountingOutput(std::unique_ptr<IByteOutput> file) : file_(std::move(file)) {}
    Done Write(const char* data, std::size_t size) override {
        written_ += size;
        return file_->Write(data, size);
    }
    std::size_t Written() const { return written_; }

  private:
    std::unique_ptr<IByteOutput> file_;
    std::size_t written_ = 0;
};

// A report file made new in the temporary folder, beside those of earlier runs.
Result<std::unique_ptr<IByteOutput>> NewReport(IFileTree& tree, const std::string& folder,
                                               std::string& path) {
    Failure failure;
    for (int n = 1; n <= kMaxReportNames; ++n) {
        path = folder + "QRX_PC_INFO_DECODE_" + std::to_string(n) + ".html";
        auto file = tree.CreateNew(path);
        if (file || file.failure().kind != FailureKind::Exists) {
            return file;
        }
        failure = file.failure();
    }
    return failure;
}

// The files dropped on the decoder, decoded into a page that the browser opens.
int Report(const std::vector<std::string>& files, ICryptoProvider& crypto, ITextCodec& codec,
           IKeyedHash& hash, const InputOpener& open, IFileTree& tree, IDesktopShell& shell,
           std::ostream& err) {
    std::string path;
    auto file = NewReport(tree, shell.TempFolder(), path);
    if (!file) {
        err << "QRX_PC_INFO_DECODE: 報告のファイルを一時フォルダーに作れません: "
            << Escaped(file.failure().Message()) << "\n";
        return kExitNotDone;
    }
    CountingOutput report(std::move(*file));
    std::vector<std::string> args = {"--html"};
    args.insert(args.end(), files.begin(), files.end());
    const int status = RunDecoder(args, crypto, codec, hash, open, tree, report, err);
    if (report.Written() == 0) {
        err << "QRX_PC_INFO_DECODE: 報告にできるものがありませんでした\n";
        return status;
    }
    err << "QRX_PC_INFO_DECODE: 報告を書きました: " << Escaped(path) << "\n";
    if (const Done opened = shell.Open(path); !opened) {
        err << "QRX_PC_INFO_DECODE: ブラウザーで開けません: " << Escaped(opened.failure().Message())
            << "\n上のファイルをブラウザーで開いてください\n";
        return kExitNotDone;
    }
    err << "ブラウザーで開きました。\n";
    return status;
}

}  // namespace

int RunDesktopDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto,
                      ITextCodec& codec, IKeyedHash& hash, const InputOpener& open, IFileTree& tree,
                      IDesktopShell& shell, IByteOutput& out, std::ostream& err) {
    // What the file manager passes are whole paths: anything that begins like an option was
    // typed by someone, who gets the decoder as it is.
    const bool options = std::any_of(args.begin(), args.end(),
                                     [](const std::string& a) { return a.starts_with('-'); });
    if (options || !shell.OwnsConsole()) {
        return RunDecoder(args, crypto, codec, hash, open, tree, out, err);
    }
    int status = kExitDecoded;
    if (args.empty()) {
        err << DecoderUsage() << "\n" << kDropHelp;
    } else {
        status = Report(args, crypto, codec, hash, open, tree, shell, err);
    }
    err << kPressEnter;
    err.flush();
    shell.WaitForEnter();
    return status;
}

}  // namespace qrx
