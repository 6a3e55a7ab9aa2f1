#include "tools/decode/Options.h"

#include <algorithm>

#include "tools/decode/common/Escape.h"

namespace qrx {

namespace {

// A usage error: the arguments do not say what to do.
Failure Usage(std::string text) {
    return {FailureKind::Other, std::move(text), {}};
}

// The option as the table spells it, or empty when no format has it.
std::string_view FormatOption(std::string_view arg) {
    for (const FormatRow& row : FormatRows()) {
        for (const std::string_view option : {row.flag, row.with}) {
            if (!option.empty() && option == arg) {
                return option;
            }
        }
    }
    return {};
}

// Whether the option names a format that writes a file of its own, named after it.
bool TakesFile(std::string_view option) {
    for (const FormatRow& row : FormatRows()) {
        if (row.flag == option && row.writesFile) {
            return true;
        }
    }
    return false;
}

// A key given on the command line: not empty, and not an option taken for one.
Done CheckKey(const std::string& key) {
    if (key.empty()) {
        return Usage("--mask-key の鍵が空です");
    }
    if (key.starts_with("--")) {
        return Usage("--mask-key の後がオプションです: " + Escaped(key) +
                     " (鍵をファイルから読むときは --mask-key-file ファイル)");
    }
    return {};
}

// The options that take a value: where it goes, whether they turn masking on, how it is checked.
struct ValueOption {
    std::string_view name;
    std::optional<std::string> DecoderOptions::*value;
    bool masks;
    Done (*check)(const std::string& value);
};
constexpr ValueOption kValueOptions[] = {
    {"--mask-key", &DecoderOptions::maskKey, true, CheckKey},
    {"--mask-key-file", &DecoderOptions::maskKeyFile, true, nullptr},
    {"--mask-words", &DecoderOptions::maskWordsFile, true, nullptr},
    {"--mask-map", &DecoderOptions::maskMapFile, true, nullptr},
    {"--unmask", &DecoderOptions::unmaskMap, false, nullptr},
};

const ValueOption* FindValueOption(std::string_view arg) {
    for (const ValueOption& v : kValueOptions) {
        if (v.name == arg) {
            return &v;
        }
    }
    return nullptr;
}

bool Names(const FormatRow& row, std::string_view option) {
    return option == row.flag || option == row.with;
}

// The row that the formats' options name, all of them and no other; else the first two that no
// row takes together.
Done ChooseFormat(const std::vector<std::string_view>& asked, DecoderOptions& o) {
    for (const FormatRow& row : FormatRows()) {
        const std::size_t named = !row.flag.empty() + !row.with.empty();
        if (named == asked.size() &&
            std::all_of(asked.begin(), asked.end(), [&](auto a) { return Names(row, a); })) {
            o.format = &row;
            return {};
        }
    }
    for (std::size_t i = 0; i < asked.size(); ++i) {
        for (std::size_t j = i + 1; j < asked.size(); ++j) {
            const auto rows = FormatRows();
            if (std::none_of(rows.begin(), rows.end(), [&](const FormatRow& row) {
                    return Names(row, asked[i]) && Names(row, asked[j]);
                })) {
                return Usage(std::string(asked[i]) + " と " + std::string(asked[j]) +
                             " は同時に使えません");
            }
        }
    }
    return Usage(std::string(asked.front()) + " は単独では使えません");
}

}  // namespace

std::string DecoderUsage() {
    std::string shared, own;
    for (const FormatRow& row : FormatRows()) {
        if (row.synopsis.empty()) {
            continue;
        }
        if (row.ownLine) {
            own.append("       QRX_PC_INFO_DECODE ").append(row.synopsis).append("\n");
        } else {
            shared.append(shared.empty() ? "[" : " | ").append(row.synopsis);
        }
    }
    std::string usage =
        "使い方: QRX_PC_INFO_DECODE " + shared +
        "]\n"
        "                           [--mask | --mask-key 鍵 | --mask-key-file ファイル]\n"
        "                           [--mask-words ファイル] [--mask-map ファイル]\n"
        "                           [--password-file ファイル] [ファイル・フォルダー・圧縮ファイル "
        "...]\n" +
        own +
        "QRX_PC_INFO のデータファイル (PC_INFO_*.dat) を復号して UTF-8 で出力します。\n"
        "ファイルを指定しないか \"-\" のときは標準入力を読みます。\n"
        "フォルダーはその下のデータファイル (名前によらず中身で見分けます。サブフォルダーも、\n"
        "パスの順) を、.zip (パスワード付きも)、.7z、.lzh、.tar.gz は中のデータファイルを\n"
        "読みます (\"圧縮ファイル.zip:PC_INFO_….dat\" と表示。展開するのは 1 つの圧縮ファイルで\n"
        "256 MiB、1 回の実行で 4 GiB までです)。\n"
        "改行が LF や CR に変わったファイル、途中で折り返されたファイル、BOM 付きや UTF-16 で\n"
        "保存し直されたファイルも読めます。\n"
        "1 行は 64 KiB までです (それより長い行は報告して読み飛ばします)。\n";
    for (const FormatRow& row : FormatRows()) {
        usage += row.usage;
    }
    return usage +
           "  --password-file ファイル\n"
           "                  パスワード付き .zip のパスワードを、ファイルから 1 行に 1 つずつ\n"
           "                  読みます。複数指定でき、順に試します\n"
           "                  例: QRX_PC_INFO_DECODE --summary --password-file pw.txt 受付.zip\n"
           "  --verbose       データファイルではないので読み飛ばしたファイルの名前も表示します\n"
           "  --mask          MAC アドレス (どの書き方も)、IP アドレス、CSName と DNS ドメイン、\n"
           "                  "
           "SerialNumber、UUID、プロダクトキー、パスのユーザー名を同じ形の仮の値に\n"
           "                  置き換えます (鍵は実行ごとに乱数で、元の値には戻せません)。\n"
           "                  ファイル名は PC_INFO_日時.dat の形ならその名前だけ、それ以外は "
           "file-1、\n"
           "                  file-2… と表示し、フォルダー名は表示しません (標準入力は -)\n"
           "  --mask-key 鍵   --mask を、指定した鍵で行います "
           "(同じ鍵なら実行をまたいで同じ仮の値)\n"
           "  --mask-key-file ファイル\n"
           "                  --mask-key の鍵をファイルの 1 行目から読みます (ps "
           "や履歴に残りません)\n"
           "                  例: QRX_PC_INFO_DECODE --mask-key-file 鍵.txt --csv 受付 > 一覧.csv\n"
           "  --mask-words ファイル\n"
           "                  ファイルに 1 行 1 語で書いた語 (会社名、人名、ドメインなど) "
           "も、大文字・\n"
           "                  小文字、全角・半角を問わず仮の値にします (--mask を含みます)\n"
           "  --mask-map ファイル\n"
           "                  仮の値と元の値の対応表を新しいファイルに書きます "
           "(所有者だけが読める\n"
           "                  "
           "ファイル。あるファイルには書きません)。窓口で保管し、送らないでください\n"
           "  --unmask 対応表 [テキストファイル ...]\n"
           "                  メーカーからの返信などのテキストの仮の値を、--mask-map "
           "の表で元に戻します\n"
           "                  例: QRX_PC_INFO_DECODE --unmask 対応表.txt 返信.txt\n"
           "  --help          この説明を表示します\n"
           "  --version       バージョンを表示します\n"
           "終了コード: 0 すべての行を復号して出力した, 1 復号できない行があった,\n"
           "            2 引数の誤り、読めないファイル・圧縮ファイル、または出力できなかった\n"
           "--diff の終了コード: 0 同じ, 1 違いあり, 2 読めないファイルか復号できない行あり\n";
}

Result<DecoderOptions> ParseDecoderOptions(const std::vector<std::string>& args) {
    DecoderOptions o;
    std::vector<std::string_view> asked;  // the formats' options, in the order given
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!options || a == "-" || !a.starts_with('-')) {
            o.files.push_back(a);
        } else if (a == "--") {
            options = false;
        } else if (const std::string_view option = FormatOption(a); !option.empty()) {
            if (std::find(asked.begin(), asked.end(), option) == asked.end()) {
                asked.push_back(option);
            }
            if (TakesFile(option)) {
                if (i + 1 >= args.size()) {
                    return Usage(Escaped(a) + " には値が必要です");
                }
                o.formatFile = args[++i];
            }
        } else if (a == "--mask") {
            o.mask = true;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (a == "--password-file") {
            if (i + 1 >= args.size()) {
                return Usage(Escaped(a) + " には値が必要です");
            }
            o.passwordFiles.push_back(args[++i]);
        } else if (const ValueOption* v = FindValueOption(a)) {
            if (i + 1 >= args.size()) {
                return Usage(Escaped(a) + " には値が必要です");
            }
            o.mask = o.mask || v->masks;
            o.*(v->value) = args[++i];
            if (Done checked = v->check ? v->check(args[i]) : Done(); !checked) {
                return checked.failure();
            }
        } else if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        } else if (a == "--version") {
            o.version = true;
            return o;
        } else {
            return Usage("不明なオプションです: " + Escaped(a));
        }
    }
    if (o.files.empty()) {
        o.files.push_back("-");
    }
    if (o.maskKey && o.maskKeyFile) {
        return Usage("--mask-key と --mask-key-file は同時に使えません");
    }
    if (o.unmaskMap && (o.mask || !asked.empty() || !o.passwordFiles.empty())) {
        return Usage("--unmask はほかのオプションと一緒に使えません");
    }
    if (Done chosen = ChooseFormat(asked, o); !chosen) {
        return chosen.failure();
    }
    if (o.Diff() && o.files.size() != 2) {
        return Usage("--diff には比較する 2 つのファイルを指定してください");
    }
    if (o.Diff() && o.files[0] == "-" && o.files[1] == "-") {
        return Usage("--diff で標準入力を読めるのは片方だけです");
    }
    return o;
}

}  // namespace qrx
