#include "tools/decode/records/Diff.h"

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <map>
#include <set>

namespace qrx {

namespace {

// The identifying properties of a class, in the order of their rank.
std::vector<const PlannedProperty*> KeysOf(std::string_view className) {
    std::vector<const PlannedProperty*> keys;
    if (const PlannedClass* c = FindPlannedClass(className)) {
        for (const auto& p : c->properties) {
            if (p.identity > 0) {
                keys.push_back(&p);
            }
        }
    }
    std::sort(keys.begin(), keys.end(),
              [](const auto* a, const auto* b) { return a->identity < b->identity; });
    return keys;
}

std::string_view First(const Instance& i, std::string_view name) {
    const Property* p = i.Find(name);
    return p == nullptr || p->values.empty() ? std::string_view() : p->values.front();
}

// The value that identifies: without the index the system renumbers.
std::string_view KeyValue(const Instance& i, const PlannedProperty& p) {
    const std::string_view v = First(i, p.name);
    return p.indexed ? WithoutIndex(v) : v;
}

using Key = std::function<std::string(const Instance&)>;

// All identifying values together (empty unless each is there), then each alone.
std::vector<Key> KeyFunctions(const std::vector<const PlannedProperty*>& keys) {
    std::vector<Key> out;
    if (keys.size() > 1) {
        out.push_back([keys](const Instance& i) {
            std::string all;
            for (const auto* k : keys) {
                const std::string_view v = KeyValue(i, *k);
                if (v.empty()) {
                    return std::string();
                }
                all.append(v).push_back('\t');
            }
            return all;
        });
    }
    for (const auto* k : keys) {
        out.push_back([k](const Instance& i) { return std::string(KeyValue(i, *k)); });
    }
    return out;
}

// Names for the pairs, each telling its instance apart from the others of the class: the first
// identifying value; where two share it, the other identifying values in parentheses; then with
// the index the system gave; else the place in its file ("#2").
void Label(std::vector<InstancePair>& pairs, const std::vector<const PlannedProperty*>& keys,
           const std::vector<const Instance*>& old, const std::vector<const Instance*>& now) {
    constexpr int kLevels = 3;
    std::vector<std::array<std::string, kLevels>> candidates;
    for (const auto& p : pairs) {
        const Instance& i = *(p.now ? p.now : p.old);
        auto& c = candidates.emplace_back();
        if (keys.empty()) {
            continue;
        }
        std::string others;
        for (std::size_t k = 1; k < keys.size(); ++k) {
            if (const std::string_view v = KeyValue(i, *keys[k]); !v.empty()) {
                others += (others.empty() ? "" : ", ") + std::string(v);
            }
        }
        const std::string tail = others.empty() ? "" : " (" + others + ")";
        c[0] = KeyValue(i, *keys.front());
        c[1] = c[0].empty() ? others : c[0] + tail;
        c[2] = std::string(First(i, keys.front()->name)) + tail;
    }
    std::vector<bool> named(pairs.size(), false);
    for (int level = 0; level < kLevels; ++level) {
        std::map<std::string_view, int> count;
        for (const auto& c : candidates) {
            ++count[c[level]];
        }
        for (std::size_t n = 0; n < pairs.size(); ++n) {
            const std::string& c = candidates[n][level];
            if (!named[n] && !c.empty() && count[c] == 1) {
                pairs[n].label = c;
                named[n] = true;
            }
        }
    }
    for (std::size_t n = 0; n < pairs.size(); ++n) {
        if (named[n]) {
            continue;
        }
        const auto& side = pairs[n].now ? now : old;
        const Instance* i = pairs[n].now ? pairs[n].now : pairs[n].old;
        const auto place = std::find(side.begin(), side.end(), i) - side.begin() + 1;
        const std::string& base = candidates[n][0];
        pairs[n].label = (base.empty() ? "" : base + " ") + "#" + std::to_string(place);
    }
}

}  // namespace

bool EachLabelledValue(const ClassRecords& c,
                       const std::function<bool(const std::string& label, const Property& p,
                                                const std::string& v)>& row) {
    std::vector<const Instance*> instances;
    for (const auto& i : c.instances) {
        instances.push_back(&i);
    }
    const auto labels = InstanceLabels(c.name, instances);
    for (std::size_t n = 0; n < instances.size(); ++n) {
        for (const auto& p : instances[n]->properties) {
            for (const auto& v : p.values) {
                if (!row(labels[n], p, v)) {
                    return false;
                }
            }
        }
    }
    return true;
}

std::vector<std::string> InstanceLabels(std::string_view className,
                                        const std::vector<const Instance*>& instances) {
    std::vector<InstancePair> pairs;
    for (const Instance* i : instances) {
        pairs.push_back({nullptr, i, {}});
    }
    Label(pairs, KeysOf(className), {}, instances);
    std::vector<std::string> out;
    for (auto& p : pairs) {
        out.push_back(std::move(p.label));
    }
    return out;
}

namespace {

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
    PropertyChange c{kind, p.name, p.multiValued || p.values.size() > 1, {}, {}, p.unknown};
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

bool SameValues(const std::vector<std::string>& a, const std::vector<std::string>& b,
                bool indexed) {
    if (!indexed) {
        return a == b;
    }
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return WithoutIndex(x) == WithoutIndex(y);
    });
}

std::vector<PropertyChange> CompareInstances(const PlannedClass* plan, const Instance& old,
                                             const Instance& now) {
    std::vector<PropertyChange> out;
    for (const auto& p : old.properties) {
        const Property* q = now.Find(p.name);
        if (q == nullptr) {
            out.push_back(Whole(PropertyChange::Kind::Removed, p));
            continue;
        }
        const PlannedProperty* planned = plan ? plan->Find(p.name) : nullptr;
        // Arrays are sets: the order of addresses says nothing.
        if (p.multiValued || q->multiValued || p.values.size() > 1 || q->values.size() > 1) {
            PropertyChange c{
                PropertyChange::Kind::Changed, p.name,   true, Missing(p.values, q->values),
                Missing(q->values, p.values),  p.unknown};
            if (!c.removed.empty() || !c.added.empty()) {
                out.push_back(std::move(c));
            }
        } else if (!SameValues(p.values, q->values, planned != nullptr && planned->indexed)) {
            out.push_back(
                {PropertyChange::Kind::Changed, p.name, false, p.values, q->values, p.unknown});
        }
    }
    for (const auto& q : now.properties) {
        if (old.Find(q.name) == nullptr) {
            out.push_back(Whole(PropertyChange::Kind::Added, q));
        }
    }
    return out;
}

}  // namespace

std::vector<InstancePair> MatchInstances(std::string_view className,
                                         const std::vector<const Instance*>& old,
                                         const std::vector<const Instance*>& now) {
    const auto identifying = KeysOf(className);
    const std::vector<Key> keys = KeyFunctions(identifying);
    std::vector<int> partnerOfOld(old.size(), -1);
    std::vector<int> partnerOfNew(now.size(), -1);
    const auto pair = [&](std::size_t o, std::size_t n) {
        partnerOfOld[o] = static_cast<int>(n);
        partnerOfNew[n] = static_cast<int>(o);
    };
    std::vector<bool> keyless(old.size() + now.size(), true);  // old ones first
    for (const Key& key : keys) {
        // The unmatched newer instances by their key, each list in file order.
        std::map<std::string, std::deque<std::size_t>> waiting;
        for (std::size_t n = 0; n < now.size(); ++n) {
            if (std::string k = key(*now[n]); !k.empty()) {
                keyless[old.size() + n] = false;
                if (partnerOfNew[n] < 0) {
                    waiting[std::move(k)].push_back(n);
                }
            }
        }
        for (std::size_t o = 0; o < old.size(); ++o) {
            const std::string k = key(*old[o]);
            keyless[o] = keyless[o] && k.empty();
            const auto it = partnerOfOld[o] < 0 ? waiting.find(k) : waiting.end();
            if (!k.empty() && it != waiting.end() && !it->second.empty()) {
                pair(o, it->second.front());
                it->second.pop_front();
            }
        }
    }
    // Instances with no identity at all (every instance of a class without keys) pair up in
    // the order of the files.
    std::size_t next = 0;
    for (std::size_t o = 0; o < old.size(); ++o) {
        if (partnerOfOld[o] >= 0 || !keyless[o]) {
            continue;
        }
        while (next < now.size() && (partnerOfNew[next] >= 0 || !keyless[old.size() + next])) {
            ++next;
        }
        if (next < now.size()) {
            pair(o, next);
        }
    }
    // In the newer file's order, each removed instance where it stood in the older one.
    std::vector<InstancePair> out;
    std::size_t o = 0;
    const auto flushRemovedUpTo = [&](std::size_t end) {
        for (; o < end; ++o) {
            if (partnerOfOld[o] < 0) {
                out.push_back({old[o], nullptr, {}});
            }
        }
    };
    for (std::size_t n = 0; n < now.size(); ++n) {
        const Instance* before = nullptr;
        if (const int k = partnerOfNew[n]; k >= 0) {
            flushRemovedUpTo(static_cast<std::size_t>(k));
            before = old[static_cast<std::size_t>(k)];
        }
        out.push_back({before, now[n], {}});
    }
    flushRemovedUpTo(old.size());
    Label(out, identifying, old, now);
    return out;
}

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
        const PlannedClass* plan = FindPlannedClass(name);
        ClassChange c{o == nullptr   ? ClassChange::Kind::Added
                      : n == nullptr ? ClassChange::Kind::Removed
                                     : ClassChange::Kind::Changed,
                      name,
                      {},
                      (o ? o : n)->unknown};
        for (const auto& pair :
             MatchInstances(name, o ? o->instances : none, n ? n->instances : none)) {
            if (pair.old == nullptr) {
                c.instances.push_back(WholeInstance(InstanceChange::Kind::Added, pair));
            } else if (pair.now == nullptr) {
                c.instances.push_back(WholeInstance(InstanceChange::Kind::Removed, pair));
            } else if (auto props = CompareInstances(plan, *pair.old, *pair.now); !props.empty()) {
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

std::vector<PropertyRow> PropertyRows(const PropertyChange& p) {
    static const std::vector<std::string> kNone;
    if (p.kind == PropertyChange::Kind::Changed && !p.set) {
        return {{p.kind, p.removed, p.added}};
    }
    std::vector<PropertyRow> rows;
    if (!p.removed.empty()) {
        rows.push_back({PropertyChange::Kind::Removed, p.removed, kNone});
    }
    if (!p.added.empty()) {
        rows.push_back({PropertyChange::Kind::Added, kNone, p.added});
    }
    return rows;
}
}  // namespace qrx
