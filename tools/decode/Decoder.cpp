#include "tools/decode/Decoder.h"

#include <istream>
#include <nlohmann/json.hpp>
#include <ostream>

#include "tools/decode/LineDecoder.h"
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
    "  --json          クラスとインスタンスにまとめた JSON を 1 ファイル 1 行で出力します\n"
    "  --diff          2 つのファイルをクラス・インスタンスごとに比べ、違いだけを出力します\n"
    "                  (ネットワークアダプターは番号を除いた Caption か MACAddress で対応付け)\n"
    "  --html          ファイルごとにクラスの表を並べた 1 つの HTML ページを出力します\n"
    "  --mask          MAC・IP アドレス、CSName、SerialNumber、UUID を同じ形の仮の値に\n"
    "                  置き換えます (鍵は実行ごとに乱数で、元の値には戻せません)\n"
    "  --mask-key 鍵   --mask を、指定した鍵で行います (同じ鍵なら実行をまたいで同じ仮の値)\n"
    "  --help          この説明を表示します\n"
    "  --version       バージョンを表示します\n"
    "終了コード: 0 すべて復号, 1 復号できない行あり, 2 引数またはファイルのエラー\n"
    "--diff の終了コード: 0 同じ, 1 違いあり, 2 読めないファイルか復号できない行あり\n";

constexpr const char* kUnencryptedMark = "(未暗号化) ";

// Groups the records of one file into classes, instances and properties, writing each class
// as soon as the next begins so that memory stays bounded by one class.
class JsonWriter {
  public:
    JsonWriter(std::ostream& out, const std::string& file) : out_(out) {
        out_ << "{\"file\":" << Json(file).dump(-1, ' ', false, Json::error_handler_t::replace)
             << ",\"classes\":[";
    }

    void Add(const std::string& record, bool unencrypted) {
        if (record.size() >= 20 && record.starts_with("----------") &&
            record.ends_with("----------") && record.find('\t') == std::string::npos) {
            Flush();
            cls_ = Json{{"class", record.substr(10, record.size() - 20)},
                        {"instances", Json::array()}};
            if (unencrypted) {
                cls_["unencrypted"].push_back(record);
            }
            return;
        }
        if (cls_.is_null()) {
            cls_ = Json{{"class", ""}, {"instances", Json::array()}};
        }
        const auto tab = record.find('\t');
        const std::string name = record.substr(0, tab);
        const std::string value = tab == std::string::npos ? "" : record.substr(tab + 1);
        if (!instance_.is_null() && name == lastName_) {
            Json& slot = instance_[name];
            if (!slot.is_array()) {
                slot = Json::array({slot});
            }
            slot.push_back(value);
        } else {
            if (!instance_.is_null() && instance_.contains(name)) {
                cls_["instances"].push_back(std::move(instance_));
                instance_ = Json();
            }
            instance_[name] = value;
        }
        lastName_ = name;
        if (unencrypted) {
            cls_["unencrypted"].push_back(record);
        }
    }

    void Finish() {
        Flush();
        out_ << "]}\n";
    }

  private:
    void Flush() {
        if (cls_.is_null()) {
            return;
        }
        if (!instance_.is_null()) {
            cls_["instances"].push_back(std::move(instance_));
        }
        out_ << (first_ ? "" : ",") << cls_.dump(-1, ' ', false, Json::error_handler_t::replace);
        first_ = false;
        cls_ = Json();
        instance_ = Json();
        lastName_.clear();
    }

    std::ostream& out_;
    Json cls_;
    Json instance_;
    std::string lastName_;
    bool first_ = true;
};

}  // namespace

bool LineReader::Next(std::string& line, std::size_t& number) {
    for (;;) {
        const auto end = buffer_.find("\r\n", start_);
        if (end != std::string::npos) {
            line.assign(buffer_, start_, end - start_);
            start_ = end + 2;
            number = ++number_;
            return true;
        }
        if (eof_) {
            if (start_ >= buffer_.size()) {
                return false;
            }
            line.assign(buffer_, start_, std::string::npos);
            start_ = buffer_.size();
            number = ++number_;
            return true;
        }
        buffer_.erase(0, start_);
        start_ = 0;
        char chunk[65536];
        in_.read(chunk, sizeof chunk);
        buffer_.append(chunk, static_cast<std::size_t>(in_.gcount()));
        eof_ = !in_;
    }
}

int RunDecoder(const std::vector<std::string>& args, ICryptoProvider& crypto, ITextCodec& codec,
               std::istream& in, std::ostream& out, std::ostream& err, const FileOpener& open) {
    bool json = false;
    std::vector<std::string> files;
    bool options = true;
    Report report;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const int taken = options ? report.ParseOption(args, i) : 0;
        if (taken < 0) {
            err << "QRX_PC_INFO_DECODE: " << a << " には値が必要です\n" << kUsage;
            return 2;
        }
        if (taken > 0) {
            i += static_cast<std::size_t>(taken - 1);
        } else if (options && a == "--") {
            options = false;
        } else if (options && a == "--json") {
            json = true;
        } else if (options && (a == "--help" || a == "-h")) {
            out << kUsage;
            return 0;
        } else if (options && a == "--version") {
            out << "QRX_PC_INFO_DECODE " << QRX_VERSION << "\n";
            return 0;
        } else if (options && a.size() > 1 && a[0] == '-') {
            err << "QRX_PC_INFO_DECODE: 不明なオプションです: " << a << "\n" << kUsage;
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        files.push_back("-");
    }
    if (const std::string wrong = report.Check(files, json); !wrong.empty()) {
        err << "QRX_PC_INFO_DECODE: " << wrong << "\n" << kUsage;
        return 2;
    }
    const bool collect = report.Collects();

    LineDecoder decoder(crypto, codec);
    int status = 0;
    for (const auto& file : files) {
        std::unique_ptr<std::istream> opened;
        std::istream* source = &in;
        if (file != "-") {
            opened = open(file);
            if (!opened || !*opened) {
                err << file << ": ファイルを開けません\n";
                status = 2;
                if (collect) {
                    report.Unreadable(file, "ファイルを開けません");
                }
                continue;
            }
            source = opened.get();
        }
        const std::string name = file == "-" ? "(標準入力)" : file;
        if (collect) {
            report.BeginFile(name);
        } else if (!json && files.size() > 1) {
            out << "==> " << name << " <==\n";
        }
        JsonWriter* writer = nullptr;
        std::unique_ptr<JsonWriter> jsonWriter;
        if (json && !collect) {
            jsonWriter = std::make_unique<JsonWriter>(out, name);
            writer = jsonWriter.get();
        }
        LineReader reader(*source);
        std::string line;
        std::size_t number = 0;
        while (reader.Next(line, number)) {
            if (line.find_first_not_of("\r\n \t") == std::string::npos) {
                continue;
            }
            const DecodedLine d = decoder.Decode(line);
            if (d.kind == DecodedLine::Kind::Failed) {
                err << name << ":" << number << ": " << d.reason << "\n";
                status = std::max(status, 1);
                if (collect) {
                    report.Failure(number, d.reason);
                }
                continue;
            }
            const bool plain = d.kind == DecodedLine::Kind::Unencrypted;
            if (collect) {
                report.Record(d.text, plain);
            } else if (writer != nullptr) {
                writer->Add(report.Mask(d.text), plain);
            } else {
                out << (plain ? kUnencryptedMark : "") << report.Mask(d.text) << "\n";
            }
        }
        if (writer != nullptr) {
            writer->Finish();
        }
    }
    if (collect) {
        status = report.Finish(out, json, status);
    }
    out.flush();
    return status;
}

}  // namespace qrx
