#include "tools/decode/Diff.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "tools/decode/Decoder.h"  // AppendEscaped

namespace qrx {

namespace {

using Json = nlohmann::ordered_json;

// The elements of `from` that `other` lacks, each once, in order.
std::vector<std::string> Missing(const std::vector<std::string>& from,
                                 const std::vector<std::string>& other) {
    std::set<std::string_view> seen(other.begin(), other.end());
    std::vector<std::string> out;
    for (const auto& v : from) {
        if (seen.insert(v).second) {
            out.push_back(v);
        }
    }
    return out;
}

PropertyChange Whole(PropertyChange::Kind kind, const Property& p) {
    PropertyChange c{kind, p.name, p.values.size() > 1, {}, {}};
    (kind == PropertyChange::Kind::Added ? c.added : c.removed) = p.values;
    return c;
}

InstanceChange WholeInstance(InstanceChange::Kind kind, const InstancePair& pair) {
    const bool added = kind == InstanceChange::Kind::Added;
    InstanceChange change{kind, pair.label, {}};
    for (const auto& p : (added ? pair.now : pair.old)->properties) {
        change.properties.push_back(
            Whole(added ? PropertyChange::Kind::Added : PropertyChange::Kind::Removed, p));
    }
    return change;
}

std::vector<PropertyChange> CompareInstances(const Instance& old, const Instance& now) {
    std::vector<PropertyChange> out;
    for (const auto& p : old.properties) {
        const Property* q = now.Find(p.name);
        if (q == nullptr) {
            out.push_back(Whole(PropertyChange::Kind::Removed, p));
            continue;
        }
        // Arrays are sets: the order of addresses says nothing.
        if (p.name == "IPAddress" || p.values.size() > 1 || q->values.size() > 1) {
            PropertyChange c{PropertyChange::Kind::Changed, p.name, true,
                             Missing(p.values, q->values), Missing(q->values, p.values)};
            if (!c.removed.empty() || !c.added.empty()) {
                out.push_back(std::move(c));
            }
        } else if (p.values != q->values) {
            out.push_back({PropertyChange::Kind::Changed, p.name, false, p.values, q->values});
        }
    }
    for (const auto& q : now.properties) {
        if (old.Find(q.name) == nullptr) {
            out.push_back(Whole(PropertyChange::Kind::Added, q));
        }
    }
    return out;
}

void WriteValue(Json& j, const char* key, const std::vector<std::string>& values, bool array) {
    if (array) {
        j[key] = values;
    } else {
        j[key] = values.empty() ? std::string() : values.front();
    }
}

constexpr const char* kKindName[] = {"added", "removed", "changed"};

template <typename K>
const char* NameOf(K kind) {
    return kKindName[static_cast<int>(kind)];
}

Json Failures(const Collection& c) {
    Json out = Json::array();
    for (const auto& f : c.failures) {
        out.push_back({{"file", c.file}, {"line", f.line}, {"reason", f.reason}});
    }
    return out;
}

}  // namespace

std::vector<ClassChange> Compare(const Collection& old, const Collection& now) {
    const std::vector<ClassView> before = ByClass(old);
    const std::vector<ClassView> after = ByClass(now);
    std::vector<ClassChange> out;
    std::map<std::string_view, const ClassView*> oldByName, newByName;
    for (const auto& v : before) {
        oldByName[v.name] = &v;
    }
    for (const auto& v : after) {
        newByName[v.name] = &v;
    }
    const auto find = [](const auto& byName, const std::string& name) -> const ClassView* {
        const auto it = byName.find(name);
        return it == byName.end() ? nullptr : it->second;
    };
    const auto compareClass = [&](const std::string& name, const ClassView* o, const ClassView* n) {
        static const std::vector<const Instance*> none;
        ClassChange c{o == nullptr   ? ClassChange::Kind::Added
                      : n == nullptr ? ClassChange::Kind::Removed
                                     : ClassChange::Kind::Changed,
                      name,
                      {}};
        for (const auto& pair :
             MatchInstances(name, o ? o->instances : none, n ? n->instances : none)) {
            if (pair.old == nullptr) {
                c.instances.push_back(WholeInstance(InstanceChange::Kind::Added, pair));
            } else if (pair.now == nullptr) {
                c.instances.push_back(WholeInstance(InstanceChange::Kind::Removed, pair));
            } else if (auto props = CompareInstances(*pair.old, *pair.now); !props.empty()) {
                c.instances.push_back({InstanceChange::Kind::Changed, pair.label, props});
            }
        }
        if (c.kind != ClassChange::Kind::Changed || !c.instances.empty()) {
            out.push_back(std::move(c));
        }
    };
    for (const auto& o : before) {
        compareClass(o.name, &o, find(newByName, o.name));
    }
    for (const auto& n : after) {
        if (find(oldByName, n.name) == nullptr) {
            compareClass(n.name, nullptr, &n);
        }
    }
    return out;
}

std::string Printable(const std::string& text) {
    std::string out;
    AppendEscaped(out, text);
    return out;
}

void WriteDiffText(std::ostream& out, const Collection& old, const Collection& now,
                   const std::vector<ClassChange>& changes) {
    const bool incomplete = !old.failures.empty() || !now.failures.empty();
    if (changes.empty() && !incomplete) {
        return;
    }
    out << "--- " << Printable(old.file) << "\n+++ " << Printable(now.file) << "\n";
    for (const Collection* c : {&old, &now}) {
        if (!c->failures.empty()) {
            out << "!! " << Printable(c->file) << ": 復号できない行が " << c->failures.size()
                << " 行あります。比較したのは復号できた記録だけです\n";
        }
    }
    static const char kMark[] = {'+', '-', '~'};
    for (const auto& cls : changes) {
        out << "@@ " << Printable(cls.name)
            << (cls.kind == ClassChange::Kind::Added     ? " (追加)"
                : cls.kind == ClassChange::Kind::Removed ? " (削除)"
                                                         : "")
            << "\n";
        for (const auto& inst : cls.instances) {
            out << kMark[static_cast<int>(inst.kind)] << " " << Printable(inst.label) << "\n";
            for (const auto& p : inst.properties) {
                const std::string name = Printable(p.name);
                if (p.kind == PropertyChange::Kind::Changed && !p.set) {
                    out << "    ~ " << name << ": " << Printable(p.removed.front()) << " → "
                        << Printable(p.added.front()) << "\n";
                    continue;
                }
                for (const auto& v : p.removed) {
                    out << "    - " << name << ": " << Printable(v) << "\n";
                }
                for (const auto& v : p.added) {
                    out << "    + " << name << ": " << Printable(v) << "\n";
                }
            }
        }
    }
}

void WriteDiffJson(std::ostream& out, const Collection& old, const Collection& now,
                   const std::vector<ClassChange>& changes) {
    Json j{{"old", old.file}, {"new", now.file}, {"same", changes.empty()}};
    Json failures = Failures(old);
    for (auto& f : Failures(now)) {
        failures.push_back(std::move(f));
    }
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
    out << j.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
}

}  // namespace qrx
