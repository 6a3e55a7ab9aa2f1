#include "tools/decode/formats/Formats.h"

namespace qrx {

std::unique_ptr<IFormat> MakeTextFormat(Output& out, const FormatSettings& settings);
std::unique_ptr<IFormat> MakeJsonFormat(Output& out, const FormatSettings& settings);
std::unique_ptr<IFormat> MakeCsvFormat(Output& out, const FormatSettings& settings);
std::unique_ptr<IFormat> MakeSummaryTextFormat(Output& out, const FormatSettings& settings);
std::unique_ptr<IFormat> MakeSummaryJsonFormat(Output& out, const FormatSettings& settings);
std::unique_ptr<IFormat> MakeDiffTextFormat(Output& out, const FormatSettings& settings);
std::unique_ptr<IFormat> MakeDiffJsonFormat(Output& out, const FormatSettings& settings);
std::unique_ptr<IFormat> MakeDiffHtmlFormat(Output& out, const FormatSettings& settings);
std::unique_ptr<IFormat> MakeHtmlFormat(Output& out, const FormatSettings& settings);
std::unique_ptr<IFormat> MakeXlsxFormat(Output& out, const FormatSettings& settings);

namespace {

// In the order of the usage.
constexpr FormatRow kRows[] = {
    {"", "", false, "", false, "", MakeTextFormat},
    {"--json", "", false, "--json", false,
     "  --json          クラスとインスタンスにまとめた JSON を 1 ファイル 1 行で出力します\n",
     MakeJsonFormat},
    {"--csv", "", false, "--csv", false,
     "  --csv           1 記録 1 行の CSV (ファイル, 収集日時, クラス, インスタンス, プロパティ, "
     "値)\n"
     "                  を BOM 付き UTF-8、CR LF で出力します (Excel でそのまま開けます)\n"
     "                  例: QRX_PC_INFO_DECODE --csv 受付フォルダー > 一覧.csv\n",
     MakeCsvFormat, false, true},
    {"--summary", "", false, "--summary [--json]", false,
     "  --summary       1 ファイル 1 行の一覧 (収集日時、コンピューター名、OS とビルド、\n"
     "                  プロセッサー、メモリ、アダプター数、復号できない行数) を出力します\n"
     "                  例: QRX_PC_INFO_DECODE --summary 受付フォルダー\n",
     MakeSummaryTextFormat, false, true},
    {"--summary", "--json", false, "", false, "", MakeSummaryJsonFormat, false, true},
    {"--diff", "", true, "--diff [--json | --html] [--mask | --mask-key 鍵] 旧ファイル 新ファイル",
     true,
     "  --diff          2 つのファイルをクラス・インスタンスごとに比べ、違いだけを出力します\n"
     "                  (ネットワークアダプターは番号を除いた Caption と MACAddress で対応付け)\n"
     "                  例: QRX_PC_INFO_DECODE --diff --html 旧.dat 新.dat > 違い.html\n",
     MakeDiffTextFormat},
    {"--diff", "--json", true, "", false, "", MakeDiffJsonFormat},
    {"--diff", "--html", true, "", false, "", MakeDiffHtmlFormat},
    {"--html", "", false, "--html [--mask | --mask-key 鍵] ファイル ... > 報告.html", true,
     "  --html          ファイルごとにクラスの表を並べた 1 つの HTML ページを出力します\n"
     "                  (複数のファイルでは先頭に一覧。--diff と --html で扱える記録は\n"
     "                  全ファイルで 64 MiB までです)\n",
     MakeHtmlFormat},
    {"--xlsx", "", false, "--xlsx 一覧.xlsx [--mask ...] ファイル・フォルダー ...", true,
     "  --xlsx ファイル Excel のブック (一覧のシートと記録のシート) を新しいファイルに書きます。\n"
     "                  値はすべて文字列のセル (0411 の 0 も残り、数式は動きません)\n",
     MakeXlsxFormat, true},
};

}  // namespace

std::span<const FormatRow> FormatRows() {
    return kRows;
}

}  // namespace qrx
