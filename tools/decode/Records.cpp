#include "tools/decode/Records.h"

#include <deque>
#include <functional>
#include <map>

namespace qrx {

const Property* Instance::Find(std::string_view name) const {
    for (const auto& p : properties) {
        if (p.name == name) {
            return &p;
        }
    }
    return nullptr;
}

bool IsClassHeader(std::string_view record) {
    return record.size() >= 20 && record.starts_with("----------") &&
           record.ends_with("----------") && record.find('\t') == std::string_view::npos;
}

void CollectionBuilder::Add(std::string_view record, bool unencrypted) {
    if (IsClassHeader(record)) {
        c_.classes.push_back({std::string(record.substr(10, record.size() - 20)), {}, {}});
        lastName_.clear();
    } else {
        if (c_.classes.empty()) {
            c_.classes.push_back({});
        }
        auto& instances = c_.classes.back().instances;
        const auto tab = record.find('\t');
        const std::string_view name = record.substr(0, tab);
        const std::string_view value =
            tab == std::string_view::npos ? std::string_view() : record.substr(tab + 1);
        if (!instances.empty() && !lastName_.empty() && name == lastName_) {
            instances.back().properties.back().values.emplace_back(value);
        } else {
            if (instances.empty() || instances.back().Find(name) != nullptr) {
                instances.emplace_back();
            }
            instances.back().properties.push_back({std::string(name), {std::string(value)}});
        }
        lastName_ = name;
    }
    if (unencrypted) {
        c_.classes.back().unencrypted.emplace_back(record);
    }
}

std::vector<ClassView> ByClass(const Collection& c) {
    std::vector<ClassView> out;
    std::map<std::string, std::size_t> index;
    for (const auto& cls : c.classes) {
        const auto [it, added] = index.emplace(cls.name, out.size());
        if (added) {
            out.push_back({cls.name, {}});
        }
        for (const auto& i : cls.instances) {
            out[it->second].instances.push_back(&i);
        }
    }
    return out;
}

namespace {

using Key = std::function<std::string(const Instance&)>;

std::string Value(const Instance& i, std::string_view name) {
    const Property* p = i.Find(name);
    return p == nullptr || p->values.empty() ? std::string() : p->values.front();
}

// "[00000001] Intel(R) Ethernet" without the index that Windows puts in front.
std::string CaptionWithoutIndex(const Instance& i) {
    std::string c = Value(i, "Caption");
    if (c.starts_with('[')) {
        const auto close = c.find("] ");
        if (close != std::string::npos && c.find_first_not_of("0123456789", 1) == close) {
            c.erase(0, close + 2);
        }
    }
    return c;
}

std::vector<Key> KeysOf(std::string_view className) {
    const Key mac = [](const Instance& i) { return Value(i, "MACAddress"); };
    if (className == "Win32_NetworkAdapterConfiguration") {
        return {[mac](const Instance& i) {
                    const std::string c = CaptionWithoutIndex(i);
                    const std::string m = mac(i);
                    return c.empty() || m.empty() ? std::string() : c + '\t' + m;
                },
                CaptionWithoutIndex, mac};
    }
    if (className == "Win32_NetworkAdapter") {
        return {[](const Instance& i) { return Value(i, "PNPDeviceID"); },
                [](const Instance& i) { return Value(i, "Name"); },
                [](const Instance& i) { return Value(i, "Description"); }};
    }
    return {};
}

}  // namespace

std::vector<InstancePair> MatchInstances(std::string_view className,
                                         const std::vector<const Instance*>& old,
                                         const std::vector<const Instance*>& now) {
    const std::vector<Key> keys = KeysOf(className);
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

    const auto label = [&](const Instance& i, std::size_t position) {
        for (const Key& key : keys) {
            if (std::string k = key(i); !k.empty() && k.find('\t') == std::string::npos) {
                return k;
            }
        }
        return "#" + std::to_string(position + 1);
    };
    // In the newer file's order, each removed instance where it stood in the older one.
    std::vector<InstancePair> out;
    std::size_t o = 0;
    const auto flushRemovedUpTo = [&](std::size_t end) {
        for (; o < end; ++o) {
            if (partnerOfOld[o] < 0) {
                out.push_back({old[o], nullptr, label(*old[o], o)});
            }
        }
    };
    for (std::size_t n = 0; n < now.size(); ++n) {
        const Instance* before = nullptr;
        if (const int k = partnerOfNew[n]; k >= 0) {
            flushRemovedUpTo(static_cast<std::size_t>(k));
            before = old[static_cast<std::size_t>(k)];
        }
        out.push_back({before, now[n], label(*now[n], n)});
    }
    flushRemovedUpTo(old.size());
    return out;
}

}  // namespace qrx
