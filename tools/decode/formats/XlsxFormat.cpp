// --xlsx FILE: a workbook for a spreadsheet, written with libxlsxwriter: a sheet of the summary
// (a row a file), one of the network adapters (a row each) and one of the records (the rows of
// --csv). Every value is a text cell, so
// that no formula runs and "0411" keeps its zero; the header rows are frozen and filtered, the
// columns as wide as their longest text (a wide character counts two).
#include <xlsxwriter.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/Format.h"
#include "tools/decode/formats/Formats.h"
#include "tools/decode/formats/Html.h"
#include "tools/decode/formats/Readable.h"
#include "tools/decode/formats/Summary.h"
#include "tools/decode/records/Diff.h"

namespace qrx {

namespace {

namespace fs = std::filesystem;

constexpr const char* kRecordHeadings[] = {"ファイル",     "収集日時",   "クラス",
                                           "インスタンス", "プロパティ", "値"};
constexpr const char* kAdapterHeadings[] = {"ファイル",     "番号",        "名前",       "種類",
                                            "MAC アドレス", "IP アドレス", "デバイス ID"};
constexpr std::size_t kMaxCell = 32767;  // bytes of text a cell may hold, kept below Excel's

// A folder of this process's own for the workbook while it is written (libxlsxwriter writes to
// a path): made new, its user's alone, removed with what is in it.
class PrivateFolder {
  public:
    PrivateFolder() {
        std::random_device random;
        for (int attempt = 0; attempt < 16 && path_.empty(); ++attempt) {
            std::error_code ec;
            const fs::path p = fs::temp_directory_path(ec) /
                               ("qrx-xlsx-" + std::to_string(random()) + std::to_string(random()));
            if (!ec && fs::create_directory(p, ec) && !ec) {
                fs::permissions(p, fs::perms::owner_all, ec);
                path_ = p;
            }
        }
    }
    ~PrivateFolder() {
        std::error_code ec;
        if (!path_.empty()) {
            fs::remove_all(path_, ec);
        }
    }
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

class Sheet {
  public:
    template <std::size_t N>
    Sheet(lxw_workbook* book, const char* name, lxw_format* text, const char* const (&headings)[N])
        : sheet_(workbook_add_worksheet(book, name)), text_(text) {
        Row(std::vector<std::string>(std::begin(headings), std::end(headings)));
        worksheet_freeze_panes(sheet_, 1, 0);
    }
    void Row(const std::vector<std::string>& cells) {
        for (std::size_t k = 0; k < cells.size(); ++k) {
            std::string shown = Escaped(cells[k]);
            if (shown.size() > kMaxCell) {
                std::size_t cut = kMaxCell;
                while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) {
                    --cut;
                }
                shown.resize(cut);
            }
            if (widths_.size() <= k) {
                widths_.resize(k + 1);
            }
            widths_[k] = std::max(widths_[k], DisplayWidth(shown));
            worksheet_write_string(sheet_, row_, static_cast<lxw_col_t>(k), shown.c_str(), text_);
        }
        ++row_;
    }
    void Finish() {
        for (std::size_t k = 0; k < widths_.size(); ++k) {
            const double width = static_cast<double>(std::min<std::size_t>(widths_[k], 80) + 2);
            worksheet_set_column(sheet_, static_cast<lxw_col_t>(k), static_cast<lxw_col_t>(k),
                                 width, text_);
        }
        worksheet_autofilter(sheet_, 0, 0, row_ == 0 ? 0 : row_ - 1,
                             static_cast<lxw_col_t>(widths_.empty() ? 0 : widths_.size() - 1));
    }
    lxw_row_t Rows() const { return row_; }

  private:
    lxw_worksheet* sheet_;
    lxw_format* text_;
    lxw_row_t row_ = 0;
    std::vector<std::size_t> widths_;
};

class XlsxFormat : public IFormat {
  public:
    static constexpr lxw_row_t kMaxRows = 1048576;

    explicit XlsxFormat(FormatSettings::Maker create) : create_(std::move(create)) {
        if (folder_.Path().empty()) {
            room_ = qrx::Failure{FailureKind::Other, "--xlsx の一時フォルダーを作れません", {}};
            return;
        }
        // libxlsxwriter takes UTF-8 names, also on Windows (a profile folder may be Japanese).
        const std::u8string temp = (folder_.Path() / "book.xlsx").u8string();
        temp_.assign(temp.begin(), temp.end());
        book_ = workbook_new(temp_.c_str());
        text_ = workbook_add_format(book_);
        format_set_num_format(text_, "@");
        summary_ = std::make_unique<Sheet>(book_, "一覧", text_, kSummaryHeadings);
        adapters_ = std::make_unique<Sheet>(book_, "アダプター", text_, kAdapterHeadings);
        records_ = std::make_unique<Sheet>(book_, "記録", text_, kRecordHeadings);
    }
    ~XlsxFormat() override {
        if (book_ != nullptr) {
            workbook_close(book_);
        }
    }

    void BeginFile(const std::string& name, bool) override {
        file_name_ = name;
        time_ = ShownCollectionTime(name);
        builder_.BeginFile(name);
        classes_ = std::make_unique<ClassBuilder>(
            [this](ClassRecords&& c, std::size_t) { WriteClass(c); });
    }
    void Record(const PlacedRecord& r) override {
        builder_.Record(r);
        if (classes_) {
            classes_->Add(r);
        }
    }
    void Failure(std::size_t line, const std::string& reason) override {
        builder_.Failure(line, reason);
    }
    void EndFile() override {
        if (classes_) {
            classes_->Finish();
            classes_.reset();
        }
        if (book_ != nullptr && room_) {
            if (summary_->Rows() >= kMaxRows || adapters_->Rows() + 256 >= kMaxRows) {
                room_ = qrx::Failure{
                    FailureKind::TooLarge, "--xlsx の 1 シートは 1,048,576 行までです", {}};
                return;
            }
            const FileSummary& summary = builder_.Summary();
            summary_->Row(SummaryCells(summary));
            for (const AdapterRow& a : summary.adapterList) {
                std::string addresses;
                for (const auto& address : a.addresses) {
                    addresses += (addresses.empty() ? "" : " ") + address;
                }
                adapters_->Row({file_name_, a.index, a.name, a.type, a.mac, addresses, a.deviceId});
            }
        }
    }
    Done Room() const override { return room_; }
    int Finish(int status) override {
        summary_->Finish();
        adapters_->Finish();
        records_->Finish();
        const lxw_error result = workbook_close(book_);
        book_ = nullptr;
        std::ifstream in(folder_.Path() / "book.xlsx", std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        if (result != LXW_NO_ERROR || bytes.empty()) {
            room_ = qrx::Failure{
                FailureKind::Other, std::string("--xlsx: ") + lxw_strerror(result), {}};
            return kExitNotDone;
        }
        Result<std::unique_ptr<IByteOutput>> file = create_();
        Done written = file ? (*file)->Write(bytes.data(), bytes.size()) : Done(file.failure());
        if (!written) {
            room_ = written.failure().In("--xlsx");
            return kExitNotDone;
        }
        return status;
    }

  private:
    void WriteClass(const ClassRecords& c) {
        EachLabelledValue(c, [&](const std::string& label, const Property& p,
                                 const std::string& v) {
            if (records_->Rows() >= kMaxRows || summary_->Rows() >= kMaxRows) {
                room_ = qrx::Failure{
                    FailureKind::TooLarge, "--xlsx の 1 シートは 1,048,576 行までです", {}};
                return false;
            }
            bytes_ += v.size() + 64;
            if (bytes_ > kMaxCollectedBytes) {
                room_ = qrx::Failure{
                    FailureKind::TooLarge, "--xlsx で扱える記録は全ファイルで 64 MiB までです", {}};
                return false;
            }
            records_->Row({file_name_, time_, c.name, label, Marked(p), v});
            return true;
        });
    }

    FormatSettings::Maker create_;
    PrivateFolder folder_;
    std::string temp_;
    lxw_workbook* book_ = nullptr;
    lxw_format* text_ = nullptr;
    std::unique_ptr<Sheet> summary_, adapters_, records_;
    std::unique_ptr<ClassBuilder> classes_;
    SummaryBuilder builder_;
    std::string file_name_, time_;
    Done room_;
    std::size_t bytes_ = 0;
};

}  // namespace

std::unique_ptr<IFormat> MakeXlsxFormat(Output&, const FormatSettings& settings) {
    return std::make_unique<XlsxFormat>(settings.create);
}

}  // namespace qrx
