// --json: one object a file, written class by class as the classes end, so that memory stays
// bounded by one class (a class larger than kPartBytes is written in parts of the same name).
//
// {"file": NAME, "classes": [{"class": NAME, "instances": [{PROPERTY: VALUE, ...}, ...],
//   "unencrypted": [RECORD, ...]}, ...], "errors": [{"line": N, "reason": TEXT}, ...]}
//
// A multi-valued property is always an array; "unencrypted" is there only when some record of
// the class was stored without encryption; "line" is null for an error of the whole file.
// What this decoder does not know (a newer program's) stays apart from the known properties: an
// instance's unknown properties in its member "unknown": {PROPERTY: VALUE or [VALUE, ...]}, the
// instances of an unknown class in the class's "unknown": [{...}, ...] (its "instances" empty).
#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/Formats.h"

namespace qrx {

namespace {

class JsonFormat : public IFormat {
  public:
    static constexpr std::size_t kPartBytes = 2 * 1024 * 1024;
    static constexpr std::size_t kMaxErrors = 1000;

    explicit JsonFormat(Output& out) : out_(out) {}

    void BeginFile(const std::string& name, bool) override {
        std::string& text = out_.Text();
        text += "{\"file\":";
        AppendJsonString(text, name);
        text += ",\"classes\":[";
        firstClass_ = true;
        errors_.clear();
        moreErrors_ = 0;
        builder_ = std::make_unique<ClassBuilder>(
            [this](ClassRecords&& c, std::size_t) { WriteClass(c); }, kPartBytes);
    }
    void Record(const PlacedRecord& r) override { builder_->Add(r); }
    void Failure(std::size_t line, const std::string& reason) override {
        if (errors_.size() < kMaxErrors) {
            errors_.push_back({line, reason});
        } else {
            ++moreErrors_;
        }
    }
    void EndFile() override {
        builder_->Finish();
        builder_.reset();
        if (moreErrors_ > 0) {
            errors_.push_back(
                {0, "ほかに " + std::to_string(moreErrors_) + " 行の復号できない行があります"});
        }
        std::string& text = out_.Text();
        text += "],\"errors\":[";
        for (std::size_t n = 0; n < errors_.size(); ++n) {
            text += n == 0 ? "{\"line\":" : ",{\"line\":";
            text += errors_[n].line == 0 ? "null" : std::to_string(errors_[n].line);
            text += ",\"reason\":";
            AppendJsonString(text, errors_[n].reason);
            text += '}';
        }
        text += "]}\n";
        errors_.clear();
        out_.Commit();
    }
    int Finish(int status) override { return status; }

  private:
    void WriteClass(const ClassRecords& c) {
        std::string& text = out_.Text();
        text += firstClass_ ? "{\"class\":" : ",{\"class\":";
        firstClass_ = false;
        AppendJsonString(text, c.name);
        text += ",\"instances\":[";
        if (!c.unknown) {
            Instances(c);
        }
        text += ']';
        if (c.unknown) {
            text += ",\"unknown\":[";
            Instances(c);
            text += ']';
        }
        if (!c.unencrypted.empty()) {
            text += ",\"unencrypted\":[";
            for (std::size_t n = 0; n < c.unencrypted.size(); ++n) {
                text += n == 0 ? "" : ",";
                AppendJsonString(text, c.unencrypted[n]);
            }
            text += ']';
        }
        text += '}';
        out_.Commit();
    }

    // The instances of a class as objects; in a known class, its unknown properties apart.
    void Instances(const ClassRecords& c) {
        std::string& text = out_.Text();
        for (std::size_t n = 0; n < c.instances.size(); ++n) {
            text += n == 0 ? "{" : ",{";
            bool any = false;
            for (const Property& p : c.instances[n].properties) {
                if (c.unknown || !p.unknown) {
                    Member(p, any);
                }
            }
            bool opened = false;
            for (const Property& p : c.instances[n].properties) {
                if (!c.unknown && p.unknown) {
                    if (!opened) {
                        text += any ? ",\"unknown\":{" : "\"unknown\":{";
                        opened = true;
                        any = false;
                    }
                    Member(p, any);
                }
            }
            text += opened ? "}}" : "}";
            out_.Commit();
        }
    }

    // A property as a member, after a comma when `any` came before.
    void Member(const Property& p, bool& any) {
        std::string& text = out_.Text();
        text += any ? "," : "";
        any = true;
        AppendJsonString(text, p.name);
        text += ':';
        const bool array = p.multiValued || p.values.size() != 1;
        text += array ? "[" : "";
        for (std::size_t v = 0; v < p.values.size(); ++v) {
            text += v == 0 ? "" : ",";
            AppendJsonString(text, p.values[v]);
        }
        text += array ? "]" : "";
    }

    Output& out_;
    std::unique_ptr<ClassBuilder> builder_;
    bool firstClass_ = true;
    std::vector<LineFailure> errors_;
    std::size_t moreErrors_ = 0;
};

}  // namespace

std::unique_ptr<IFormat> MakeJsonFormat(Output& out, const FormatSettings&) {
    return std::make_unique<JsonFormat>(out);
}

}  // namespace qrx
