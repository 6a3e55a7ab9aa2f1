#include "tools/decode/Decoder.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "tools/decode/ByteScan.h"
#include "tools/decode/LineDecoder.h"
#include "tools/decode/RecordGrouping.h"
#include "tools/decode/RecordReader.h"
#include "tools/decode/Report.h"

#ifndef QRX_VERSION
#define QRX_VERSION "0"
#endif

namespace qrx {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kUsage =
    "使い方: QRX_PC_INFO_DECODE [--json] [--mask | --mask-key 鍵] [ファイル ...]\n"
    "       QRX_PC_INFO_DECODE --diff [--json] [--mask | --mask-key 鍵] 旧ファイル 新ファイル\n"
    "       QRX_PC_INFO_DECODE --html [--mask | --mask-key 鍵] ファイル ... > 報告.html\n"
    "QRX_PC_INFO のデータファイル (PC_INFO_*.dat) を復号して UTF-8 で出力します。\n"
    "ファイルを指定しないか \"-\" のときは標準入力を読みます。\n"
    "改行が LF や CR に変わったファイル、途中で折り返されたファイルも読めます。\n"
    "1 行は 64 KiB までです (それより長い行は報告して読み飛ばします)。\n"
    "  --json          クラスとインスタンスにまとめた JSON を 1 ファイル 1 行で出力します\n"
    "  --diff          2 つのファイルをクラス・インスタンスごとに比べ、違いだけを出力します\n"
    "                  (ネットワークアダプターは番号を除いた Caption か MACAddress で対応付け)\n"
    "  --html          ファイルごとにクラスの表を並べた 1 つの HTML ページを出力します\n"
    "  --mask          MAC・IP アドレス、CSName、SerialNumber、UUID を同じ形の仮の値に\n"
    "                  置き換えます (鍵は実行ごとに乱数で、元の値には戻せません)\n"
    "  --mask-key 鍵   --mask を、指定した鍵で行います (同じ鍵なら実行をまたいで同じ仮の値)\n"
    "  --help          この説明を表示します\n"
    "  --version       バージョンを表示します\n"
    "終了コード: 0 すべての行を復号して出力した, 1 復号できない行があった,\n"
    "            2 引数の誤り、読めないファイル、または出力できなかった\n"
    "--diff の終了コード: 0 同じ, 1 違いあり, 2 読めないファイルか復号できない行あり\n";

constexpr const char* kUnencryptedMark = "(未暗号化) ";
constexpr std::size_t kOutputChunk = 64 * 1024;
constexpr std::size_t kInputChunk = 64 * 1024;

std::string Escaped(std::string_view text) {
    std::string out;
    AppendEscaped(out, text);
    return out;
}

// Standard output through one buffer; the first failure is kept and ends all writing.
class Output {
  public:
    explicit Output(IByteOutput& out) : out_(out) {}

    std::string& Text() { return buffer_; }
    // Writes the buffer once it is large.
    void Commit() {
        if (buffer_.size() >= kOutputChunk) {
            Flush();
        }
    }
    void Flush() {
        if (!failed_ && !buffer_.empty() && !out_.Write(buffer_.data(), buffer_.size(), error_)) {
            failed_ = true;
        }
        buffer_.clear();
    }
    bool Failed() const { return failed_; }
    const std::string& Error() const { return error_; }

  private:
    IByteOutput& out_;
    std::string buffer_;
    bool failed_ = false;
    std::string error_;
};

Json ClassJson(const GroupedClass& c) {
    Json j{{"class", c.name}, {"instances", Json::array()}};
    for (const auto& instance : c.instances) {
        Json object = Json::object();
        for (const auto& p : instance) {
            object[p.name] = p.values.size() == 1 ? Json(p.values[0]) : Json(p.values);
        }
        j["instances"].push_back(std::move(object));
    }
    if (!c.unencrypted.empty()) {
        j["unencrypted"] = c.unencrypted;
    }
    return j;
}

// Writes what is left; an output error overrides every other outcome.
int Close(Output& output, std::ostream& err, int status) {
    output.Flush();
    if (output.Failed()) {
        err << "QRX_PC_INFO_DECODE: 出力を書き込めません: " << output.Error() << "\n";
        return kExitNotDone;
    }
    return status;
}

std::string Dump(const Json& j) {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    // Bytes that may begin a control character: C0 but TAB, DEL, and 0xC2 (C1 in UTF-8).
    static constexpr auto kSuspect = [] {
        std::array<bool, 256> t{};
        for (int c = 0; c < 0x20; ++c) {
            t[c] = c != '\t';
        }
        t[0x7F] = t[0xC2] = true;
        return t;
    }();
    using namespace bytescan;
    const auto clean = [](std::uint64_t w) {
        return NotPrintable(w) == 0 ||
               (Below(w, '\t') | Between(w, '\t', 0x20) | Equal(w, 0x7F) | Equal(w, 0xC2)) == 0;
    };
    std::size_t done = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        // Eight bytes at a time while none of them may begin one; the last eight bytes overlap
        // ones already seen.
        if (i + kWord <= text.size()) {
            if (clean(Load(text.data() + i))) {
                i += kWord;
                continue;
            }
        } else if (text.size() >= kWord && clean(Load(text.data() + text.size() - kWord))) {
            break;
        }
        for (const std::size_t stop = std::min(i + kWord, text.size()); i < stop; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (!kSuspect[c]) {
                continue;
            }
            const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
            const bool c1 = c == 0xC2 && next >= 0x80 && next < 0xA0;
            if (c == 0xC2 && !c1) {
                continue;
            }
            out.append(text, done, i - done);
            out += c1 ? "\\u00" : "\\x";
            const auto v = static_cast<unsigned char>(c1 ? next : c);
            out += kHex[v >> 4];
            out += kHex[v & 15];
            i += c1 ? 1 : 0;
            done = i + 1;
        }
    }
    out.append(text, done, std::string_view::npos);
}

int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               const InputOpener& open, IByteOutput& out, std::ostream& err) {
    bool json = false;
    std::vector<std::string> files;
    bool options = true;
    Output output(out);
    Report report;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const int taken = options ? report.ParseOption(args, i) : 0;
        if (taken < 0) {
            err << "QRX_PC_INFO_DECODE: " << Escaped(a) << " には値が必要です\n" << kUsage;
            return kExitNotDone;
        }
        if (taken > 0) {
            i += static_cast<std::size_t>(taken - 1);
        } else if (options && a == "--") {
            options = false;
        } else if (options && a == "--json") {
            json = true;
        } else if (options && (a == "--help" || a == "-h")) {
            output.Text() += kUsage;
            return Close(output, err, kExitDecoded);
        } else if (options && a == "--version") {
            output.Text() += std::string("QRX_PC_INFO_DECODE ") + QRX_VERSION + "\n";
            return Close(output, err, kExitDecoded);
        } else if (options && a.size() > 1 && a[0] == '-') {
            err << "QRX_PC_INFO_DECODE: 不明なオプションです: " << Escaped(a) << "\n" << kUsage;
            return kExitNotDone;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        files.push_back("-");
    }
    if (const std::string wrong = report.Check(files, json); !wrong.empty()) {
        err << "QRX_PC_INFO_DECODE: " << wrong << "\n" << kUsage;
        return kExitNotDone;
    }
    const bool collect = report.Collects();

    LineDecoder decoder(crypto, codec);
    int status = kExitDecoded;
    std::vector<char> chunk(kInputChunk);
    for (const auto& file : files) {
        std::string error;
        const std::unique_ptr<IByteInput> input = open(file, error);
        if (!input) {
            err << Escaped(file) << ": " << error << "\n";
            status = kExitNotDone;
            if (collect) {
                report.Unreadable(file, error);
            }
            continue;
        }
        const std::string name = file == "-" ? "(標準入力)" : file;
        const std::string shownName = Escaped(name);
        if (collect) {
            report.BeginFile(name);
        } else if (!json && files.size() > 1) {
            output.Text() += "==> " + shownName + " <==\n";
        }
        bool firstClass = true;
        RecordGrouper grouper([&](GroupedClass&& c) {
            output.Text() += (firstClass ? "" : ",") + Dump(ClassJson(c));
            firstClass = false;
            output.Commit();
        });
        const bool grouped = json && !collect;
        if (grouped) {
            output.Text() += "{\"file\":" + Dump(Json(name)) + ",\"classes\":[";
        }
        std::string masked;
        RecordReader reader(decoder, [&](std::size_t line, const DecodedLine& d) {
            if (d.kind == DecodedLine::Kind::Failed) {
                // One piece, so that an unbuffered stream writes it at once.
                err << shownName + ":" + std::to_string(line) + ": " + d.reason + "\n";
                status = std::max(status, kExitBadLine);
                if (collect) {
                    report.Failure(line, d.reason);
                }
                return;
            }
            const bool plain = d.kind == DecodedLine::Kind::Unencrypted;
            if (collect) {
                report.Record(d.text, plain);
            } else if (grouped) {
                grouper.Add(report.Mask(d.text), plain);
            } else {
                std::string& text = output.Text();
                if (plain) {
                    text += kUnencryptedMark;
                }
                AppendEscaped(text, report.Masks() ? (masked = report.Mask(d.text)) : d.text);
                text += '\n';
                output.Commit();
            }
        });
        for (;;) {
            std::size_t got = 0;
            if (!input->Read(chunk.data(), chunk.size(), got, error)) {
                err << shownName << ": " << error << "\n";
                status = kExitNotDone;
                break;
            }
            if (got == 0 || output.Failed()) {
                break;
            }
            reader.Feed(chunk.data(), got);
        }
        if (output.Failed()) {
            break;  // reading stopped in the file, maybe within a line that is not wrong
        }
        reader.Finish();
        if (grouped) {
            grouper.Finish();
            output.Text() += "]}\n";
        }
        if (output.Failed()) {
            break;
        }
    }
    if (collect && !output.Failed()) {
        std::ostringstream page;
        status = report.Finish(page, json, status);
        output.Text() += page.str();
    }
    return Close(output, err, status);
}

}  // namespace qrx
