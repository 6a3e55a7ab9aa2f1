// --diff --json: what changed between two collections, as one JSON object.
#include <nlohmann/json.hpp>

#include "tools/decode/Diff.h"
#include "tools/decode/Format.h"

namespace qrx {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kKindName[] = {"added", "removed", "changed"};

template <typename K>
const char* NameOf(K kind) {
    return kKindName[static_cast<int>(kind)];
}

void WriteValue(Json& j, const char* key, const std::vector<std::string>& values, bool array) {
    if (array) {
        j[key] = values;
    } else {
        j[key] = values.empty() ? std::string() : values.front();
    }
}

void AddFailures(Json& out, const Collection& c) {
    for (const auto& f : c.failures) {
        out.push_back({{"file", c.file},
                       {"line", f.line == 0 ? Json(nullptr) : Json(f.line)},
                       {"reason", f.reason}});
    }
}

class DiffJsonFormat : public CollectingFormat {
  public:
    explicit DiffJsonFormat(Output& out) : out_(out) {}

    int Finish(int status) override {
        if (status == kExitNotDone || collections_.size() != 2) {
            return kExitNotDone;  // a file that could not be read: nothing to compare
        }
        const Collection& old = collections_[0];
        const Collection& now = collections_[1];
        const auto changes = Compare(old, now);
        Json j{{"old", old.file}, {"new", now.file}, {"same", changes.empty()}};
        Json failures = Json::array();
        AddFailures(failures, old);
        AddFailures(failures, now);
        j["undecodable"] = std::move(failures);
        Json classes = Json::array();
        for (const auto& cls : changes) {
            Json instances = Json::array();
            for (const auto& inst : cls.instances) {
                Json properties = Json::array();
                for (const auto& p : inst.properties) {
                    Json jp{{"property", p.name}, {"change", NameOf(p.kind)}};
                    if (p.kind == PropertyChange::Kind::Changed && p.set) {
                        jp["removed"] = p.removed;
                        jp["added"] = p.added;
                    } else {
                        if (p.kind != PropertyChange::Kind::Added) {
                            WriteValue(jp, "old", p.removed, p.set);
                        }
                        if (p.kind != PropertyChange::Kind::Removed) {
                            WriteValue(jp, "new", p.added, p.set);
                        }
                    }
                    properties.push_back(std::move(jp));
                }
                instances.push_back({{"instance", inst.label},
                                     {"change", NameOf(inst.kind)},
                                     {"properties", std::move(properties)}});
            }
            classes.push_back({{"class", cls.name},
                               {"change", NameOf(cls.kind)},
                               {"instances", std::move(instances)}});
        }
        j["classes"] = std::move(classes);
        out_.Text() += j.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
        return status != kExitDecoded ? kExitNotDone : changes.empty() ? 0 : 1;
    }

  private:
    Output& out_;
};

}  // namespace

std::unique_ptr<IFormat> MakeDiffJsonFormat(Output& out) {
    return std::make_unique<DiffJsonFormat>(out);
}

}  // namespace qrx
