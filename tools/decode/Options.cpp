#include "tools/decode/Options.h"

#include "tools/decode/common/Escape.h"

namespace qrx {

const char* const kDecoderUsage =
    "使い方: QRX_PC_INFO_DECODE [--json | --csv | --summary [--json]]\n"
    "                           [--mask | --mask-key 鍵 | --mask-key-file ファイル]\n"
    "                           [--password-file ファイル] [ファイル・フォルダー・圧縮ファイル "
    "...]\n"
    "       QRX_PC_INFO_DECODE --diff [--json | --html] [--mask | --mask-key 鍵] 旧ファイル "
    "新ファイル\n"
    "       QRX_PC_INFO_DECODE --html [--mask | --mask-key 鍵] ファイル ... > 報告.html\n"
    "QRX_PC_INFO のデータファイル (PC_INFO_*.dat) を復号して UTF-8 で出力します。\n"
    "ファイルを指定しないか \"-\" のときは標準入力を読みます。\n"
    "フォルダーはその下のすべての PC_INFO_*.dat (サブフォルダーも、パスの順) を、\n"
    ".zip (パスワード付きも)、.7z、.lzh、.tar.gz は中の PC_INFO_*.dat を読みます\n"
    "(\"圧縮ファイル.zip:PC_INFO_….dat\" と表示。Windows 版は圧縮ファイルを読めません)。\n"
    "改行が LF や CR に変わったファイル、途中で折り返されたファイル、BOM 付きや UTF-16 で\n"
    "保存し直されたファイルも読めます。\n"
    "1 行は 64 KiB までです (それより長い行は報告して読み飛ばします)。\n"
    "  --json          クラスとインスタンスにまとめた JSON を 1 ファイル 1 行で出力します\n"
    "  --csv           1 記録 1 行の CSV (ファイル, 収集日時, クラス, インスタンス, プロパティ, "
    "値)\n"
    "                  を BOM 付き UTF-8、CR LF で出力します (Excel でそのまま開けます)\n"
    "                  例: QRX_PC_INFO_DECODE --csv 受付フォルダー > 一覧.csv\n"
    "  --summary       1 ファイル 1 行の一覧 (収集日時、コンピューター名、OS とビルド、\n"
    "                  プロセッサー、メモリ、アダプター数、復号できない行数) を出力します\n"
    "                  例: QRX_PC_INFO_DECODE --summary 受付フォルダー\n"
    "  --diff          2 つのファイルをクラス・インスタンスごとに比べ、違いだけを出力します\n"
    "                  (ネットワークアダプターは番号を除いた Caption と MACAddress で対応付け)\n"
    "                  例: QRX_PC_INFO_DECODE --diff --html 旧.dat 新.dat > 違い.html\n"
    "  --html          ファイルごとにクラスの表を並べた 1 つの HTML ページを出力します\n"
    "                  (複数のファイルでは先頭に一覧。--diff と --html で扱える記録は\n"
    "                  全ファイルで 64 MiB までです)\n"
    "  --password-file ファイル\n"
    "                  パスワード付き .zip のパスワードを、ファイルの 1 行目から読みます\n"
    "                  例: QRX_PC_INFO_DECODE --summary --password-file pw.txt 受付.zip\n"
    "  --mask          MAC・IP アドレス、CSName、SerialNumber、UUID を同じ形の仮の値に\n"
    "                  置き換えます (鍵は実行ごとに乱数で、元の値には戻せません)。\n"
    "                  ファイル名は PC_INFO_日時.dat の形ならその名前だけ、それ以外は file-1、\n"
    "                  file-2… と表示し、フォルダー名は表示しません (標準入力は -)\n"
    "  --mask-key 鍵   --mask を、指定した鍵で行います (同じ鍵なら実行をまたいで同じ仮の値)\n"
    "  --mask-key-file ファイル\n"
    "                  --mask-key の鍵をファイルの 1 行目から読みます (ps や履歴に残りません)\n"
    "                  例: QRX_PC_INFO_DECODE --mask-key-file 鍵.txt --csv 受付 > 一覧.csv\n"
    "  --help          この説明を表示します\n"
    "  --version       バージョンを表示します\n"
    "終了コード: 0 すべての行を復号して出力した, 1 復号できない行があった,\n"
    "            2 引数の誤り、読めないファイル・圧縮ファイル、または出力できなかった\n"
    "--diff の終了コード: 0 同じ, 1 違いあり, 2 読めないファイルか復号できない行あり\n";

std::string ParseDecoderOptions(const std::vector<std::string>& args, DecoderOptions& o) {
    o = DecoderOptions();
    bool json = false, diff = false, html = false, summary = false, csv = false;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!options || a == "-" || !a.starts_with('-')) {
            o.files.push_back(a);
        } else if (a == "--") {
            options = false;
        } else if (a == "--json") {
            json = true;
        } else if (a == "--diff") {
            diff = true;
        } else if (a == "--html") {
            html = true;
        } else if (a == "--summary") {
            summary = true;
        } else if (a == "--csv") {
            csv = true;
        } else if (a == "--password-file") {
            if (i + 1 >= args.size()) {
                return Escaped(a) + " には値が必要です";
            }
            o.passwordFile = args[++i];
        } else if (a == "--mask") {
            o.mask = true;
        } else if (a == "--mask-key") {
            if (i + 1 >= args.size()) {
                return Escaped(a) + " には値が必要です";
            }
            o.mask = true;
            o.maskKey = args[++i];
            if (o.maskKey->empty()) {
                return "--mask-key の鍵が空です";
            }
            if (o.maskKey->starts_with("--")) {
                return "--mask-key の後がオプションです: " + Escaped(*o.maskKey) +
                       " (鍵をファイルから読むときは --mask-key-file ファイル)";
            }
        } else if (a == "--mask-key-file") {
            if (i + 1 >= args.size()) {
                return Escaped(a) + " には値が必要です";
            }
            o.mask = true;
            o.maskKeyFile = args[++i];
        } else if (a == "--help" || a == "-h") {
            o.help = true;
            return {};
        } else if (a == "--version") {
            o.version = true;
            return {};
        } else {
            return "不明なオプションです: " + Escaped(a);
        }
    }
    if (o.files.empty()) {
        o.files.push_back("-");
    }
    if (o.maskKey && o.maskKeyFile) {
        return "--mask-key と --mask-key-file は同時に使えません";
    }
    if (diff + html + summary + csv - (diff && html) > 1) {
        return "--diff、--html、--summary、--csv は一緒に使えません (--diff --html を除く)";
    }
    if (json && (html || csv)) {
        return std::string(html ? "--html" : "--csv") + " と --json は同時に使えません";
    }
    if (diff && o.files.size() != 2) {
        return "--diff には比較する 2 つのファイルを指定してください";
    }
    if (diff && o.files[0] == "-" && o.files[1] == "-") {
        return "--diff で標準入力を読めるのは片方だけです";
    }
    using Output = DecoderOptions::Output;
    o.output = diff      ? (json   ? Output::DiffJson
                            : html ? Output::DiffHtml
                                   : Output::DiffText)
               : html    ? Output::Html
               : summary ? (json ? Output::SummaryJson : Output::SummaryText)
               : csv     ? Output::Csv
               : json    ? Output::Json
                         : Output::Text;
    return {};
}

}  // namespace qrx
