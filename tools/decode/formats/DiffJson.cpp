// --diff --json: what changed between two collections, as one JSON object on one line.
//
// {"old": FILE, "new": FILE, "same": BOOL, "undecodable": [{"file", "line", "reason"}],
//  "classes": [{"class", "change", "instances": [{"instance", "change",
//  "properties": [{"property", "change", "old", "new"} or {..., "removed": [], "added": []}]}]}]}
// What this decoder does not know stays apart: an instance's unknown properties in its member
// "unknown" (a list like "properties"), the instances of an unknown class in the class's
// "unknown" (a list like "instances", which stays empty).
#include <algorithm>

#include "tools/decode/common/Escape.h"
#include "tools/decode/formats/DiffFormat.h"
#include "tools/decode/formats/Formats.h"

namespace qrx {

namespace {

constexpr const char* kKindName[] = {"added", "removed", "changed"};

template <typename K>
const char* NameOf(K kind) {
    return kKindName[static_cast<int>(kind)];
}

// Appends `"key":` and the string.
void Member(std::string& out, const char* key, std::string_view value) {
    out += '"';
    out += key;
    out += "\":";
    AppendJsonString(out, value);
}

void Array(std::string& out, const char* key, const std::vector<std::string>& values) {
    out += '"';
    out += key;
    out += "\":[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += i == 0 ? "" : ",";
        AppendJsonString(out, values[i]);
    }
    out += ']';
}

// "old" or "new": an array for a multi-valued property, else its one value.
void Value(std::string& out, const char* key, const std::vector<std::string>& values, bool set) {
    if (set) {
        Array(out, key, values);
    } else {
        Member(out, key, values.empty() ? std::string_view() : std::string_view(values.front()));
    }
}

void Property(std::string& out, const PropertyChange& p) {
    out += '{';
    Member(out, "property", p.name);
    out += ',';
    Member(out, "change", NameOf(p.kind));
    if (p.kind == PropertyChange::Kind::Changed && p.set) {
        out += ',';
        Array(out, "removed", p.removed);
        out += ',';
        Array(out, "added", p.added);
    } else {
        if (p.kind != PropertyChange::Kind::Added) {
            out += ',';
            Value(out, "old", p.removed, p.set);
        }
        if (p.kind != PropertyChange::Kind::Removed) {
            out += ',';
            Value(out, "new", p.added, p.set);
        }
    }
    out += '}';
}

// Opens `{"KEY":NAME,"change":KIND,"LIST":[` of a class or an instance, after a comma unless it
// comes first.
template <typename K>
void Open(std::string& out, bool first, const char* key, std::string_view name, K kind,
          const char* list) {
    out += first ? "{" : ",{";
    Member(out, key, name);
    out += ',';
    Member(out, "change", NameOf(kind));
    out += ",\"";
    out += list;
    out += "\":[";
}

class DiffJsonFormat : public DiffFormat {
  public:
    explicit DiffJsonFormat(Output& out) : out_(out) {}

  private:
    void Write(const Collection& old, const Collection& now,
               const std::vector<ClassChange>& changes) override {
        std::string& out = out_.Text();
        out += '{';
        Member(out, "old", old.file);
        out += ',';
        Member(out, "new", now.file);
        out += changes.empty() ? ",\"same\":true" : ",\"same\":false";
        out += ",\"warnings\":[";
        for (std::size_t k = 0; k < warnings_.size(); ++k) {
            out += k == 0 ? "" : ",";
            AppendJsonString(out, warnings_[k]);
        }
        out += ']';
        out += ",\"undecodable\":[";
        bool first = true;
        for (const Collection* c : {&old, &now}) {
            for (const auto& f : c->failures) {
                out += first ? "{" : ",{";
                first = false;
                Member(out, "file", c->file);
                out += ",\"line\":" + (f.line == 0 ? std::string("null") : std::to_string(f.line));
                out += ',';
                Member(out, "reason", f.reason);
                out += '}';
            }
        }
        out += "],\"classes\":[";
        for (std::size_t c = 0; c < changes.size(); ++c) {
            const ClassChange& cls = changes[c];
            Open(out, c == 0, "class", cls.name, cls.kind, "instances");
            if (cls.unknown) {
                out += "],\"unknown\":[";
            }
            for (std::size_t i = 0; i < cls.instances.size(); ++i) {
                const InstanceChange& inst = cls.instances[i];
                Open(out, i == 0, "instance", inst.label, inst.kind, "properties");
                Properties(out, inst.properties, false, cls.unknown);
                const auto& ps = inst.properties;
                if (!cls.unknown &&
                    std::any_of(ps.begin(), ps.end(), [](const auto& p) { return p.unknown; })) {
                    out += "],\"unknown\":[";
                    Properties(out, ps, true, false);
                }
                out += "]}";
                out_.Commit();
            }
            out += "]}";
        }
        out += "]}\n";
    }

    // The changes of the properties that are unknown or known as asked, or all of them.
    static void Properties(std::string& out, const std::vector<PropertyChange>& properties,
                           bool unknown, bool all) {
        bool first = true;
        for (const auto& p : properties) {
            if (all || p.unknown == unknown) {
                out += first ? "" : ",";
                first = false;
                Property(out, p);
            }
        }
    }

    Output& out_;
};

}  // namespace

std::unique_ptr<IFormat> MakeDiffJsonFormat(Output& out, const FormatSettings&) {
    return std::make_unique<DiffJsonFormat>(out);
}

}  // namespace qrx
