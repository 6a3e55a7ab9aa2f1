#include "tools/decode/records/RecordModel.h"

#include <algorithm>
#include <map>

namespace qrx {

namespace {

constexpr std::string_view kDashes = "----------";

// About what a string takes in memory beyond its own object: the heap block of a long one.
std::size_t Heap(const std::string& s) {
    return s.capacity() > 15 ? s.capacity() + 1 + 16 : 0;
}

// Whether a class of the plan queries the property, recorded or not.
bool InPlan(std::string_view property) {
    const auto& plan = CollectionPlan();
    return std::any_of(plan.begin(), plan.end(),
                       [&](const PlannedClass& c) { return c.Find(property) != nullptr; });
}

}  // namespace

void RecordPlacer::BeginFile() {
    state_ = State::BeforeHeader;
    class_ = nullptr;
    unknown_.clear();
    lastPlace_ = -1;
    open_ = false;
    seen_.clear();
    last_.clear();
}

void RecordPlacer::UnknownClass(std::string_view name) {
    state_ = State::InUnknownClass;
    class_ = nullptr;
    unknown_.assign(name);
}

Done RecordPlacer::Place(std::string_view text, bool unencrypted, std::size_t line,
                         PlacedRecord& out) {
    out = PlacedRecord();
    out.line = line;
    out.text = text;
    out.unencrypted = unencrypted;
    const auto tab = text.find('\t');
    if (tab == std::string_view::npos) {
        // The line decoder lets through only headers with a name.
        const std::string_view name = text.substr(kDashes.size(), text.size() - 2 * kDashes.size());
        class_ = FindPlannedClass(name);
        state_ = class_ != nullptr ? State::InClass : State::InNewerClass;
        lastPlace_ = -1;
        open_ = false;
        seen_.clear();
        last_.clear();
        out.kind = PlacedRecord::Kind::Header;
        if (class_ == nullptr) {
            unknown_.assign(name);
            out.unknown = true;
        }
        out.className = class_ != nullptr ? std::string_view(class_->name) : unknown_;
        return {};
    }
    out.property = text.substr(0, tab);
    out.value = text.substr(tab + 1);
    switch (state_) {
        case State::InUnknownClass:
            return Failure{FailureKind::Damaged,
                           "プログラムが書かないクラス " + unknown_ + " の見出しの後の記録です",
                           {}};
        case State::BeforeHeader:
        case State::InNewerClass: {
            const bool newer = state_ == State::InNewerClass;
            out.planned = newer ? nullptr : FindRecordedProperty(out.property);
            out.unknown = out.planned == nullptr;
            out.className = newer ? std::string_view(unknown_) : std::string_view();
            // An unknown property may be an array: its values come one after another.
            out.newInstance = Again(out.property, !out.planned || out.planned->multiValued());
            return {};
        }
        case State::InClass: {
            out.className = class_->name;
            const int place = class_->PlaceOf(out.property);
            if (place < 0 || !class_->properties[static_cast<std::size_t>(place)].recorded()) {
                if (InPlan(out.property)) {
                    // Another class's (its header was lost), or one only traced.
                    return Failure{
                        FailureKind::Damaged,
                        std::string(class_->name) + " が記録するプロパティではありません",
                        {}};
                }
                // Between the known ones: it belongs to their instance unless it came in it.
                out.unknown = true;
                const bool seen =
                    std::find(seen_.begin(), seen_.end(), out.property) != seen_.end();
                out.newInstance = !open_ || (seen && last_ != out.property);
                if (out.newInstance) {
                    seen_.clear();
                    lastPlace_ = -1;
                }
                if (!seen || out.newInstance) {
                    seen_.emplace_back(out.property);
                }
                last_.assign(out.property);
                open_ = true;
                return {};
            }
            out.planned = &class_->properties[static_cast<std::size_t>(place)];
            out.newInstance =
                !open_ ||
                (lastPlace_ >= 0 &&
                 (place < lastPlace_ || (place == lastPlace_ && !out.planned->multiValued())));
            if (out.newInstance) {
                seen_.clear();
            }
            lastPlace_ = place;
            open_ = true;
            last_.assign(out.property);
            return {};
        }
    }
    return {};
}

bool RecordPlacer::Again(std::string_view property, bool repeats) {
    const bool repeat = repeats && last_ == property;
    const bool seen = std::find(seen_.begin(), seen_.end(), property) != seen_.end();
    const bool again = seen_.empty() || (seen && !repeat);
    if (again) {
        seen_.clear();
    }
    if (!seen || again) {
        seen_.emplace_back(property);
    }
    last_.assign(property);
    return again;
}

const Property* Instance::Find(std::string_view name) const {
    for (const auto& p : properties) {
        if (p.name == name) {
            return &p;
        }
    }
    return nullptr;
}

void ClassBuilder::Add(const PlacedRecord& r) {
    if (r.kind == PlacedRecord::Kind::Header) {
        Flush();
        class_.name.assign(r.className);
        class_.unknown = r.unknown;
        open_ = true;
        if (r.unencrypted) {
            class_.unencrypted.emplace_back(r.text);
            bytes_ += sizeof(std::string) + Heap(class_.unencrypted.back());
        }
        return;
    }
    if (partBytes_ != 0 && open_ && bytes_ > partBytes_ &&
        (r.newInstance || bytes_ > 2 * partBytes_)) {
        const std::string name = class_.name;
        const bool unknown = class_.unknown;
        Flush();
        class_.name = name;
        class_.unknown = unknown;
    }
    open_ = true;
    auto& instances = class_.instances;
    if (r.newInstance || instances.empty()) {
        instances.emplace_back();
        bytes_ += 2 * sizeof(Instance);
    }
    auto& properties = instances.back().properties;
    if (properties.empty() || properties.back().name != r.property) {
        properties.push_back(
            {std::string(r.property), {}, r.planned && r.planned->multiValued(), r.unknown});
        bytes_ += 2 * sizeof(Property) + Heap(properties.back().name);
    }
    properties.back().values.emplace_back(r.value);
    bytes_ += 2 * sizeof(std::string) + Heap(properties.back().values.back());
    if (r.unencrypted) {
        class_.unencrypted.emplace_back(r.text);
        bytes_ += 2 * sizeof(std::string) + Heap(class_.unencrypted.back());
    }
}

void ClassBuilder::Finish() {
    Flush();
}

void ClassBuilder::Flush() {
    if (open_) {
        sink_(std::move(class_), bytes_);
    }
    class_ = ClassRecords();
    open_ = false;
    bytes_ = 0;
}

std::vector<ClassView> ByClass(const Collection& c) {
    std::vector<ClassView> out;
    std::map<std::string, std::size_t> index;
    for (const auto& cls : c.classes) {
        const auto [it, added] = index.emplace(cls.name, out.size());
        if (added) {
            out.push_back({cls.name, {}, cls.unknown});
        }
        for (const auto& i : cls.instances) {
            out[it->second].instances.push_back(&i);
        }
    }
    return out;
}

bool HasUnknown(const Collection& c) {
    return std::any_of(c.classes.begin(), c.classes.end(), [](const ClassRecords& k) {
        return k.unknown || std::any_of(k.instances.begin(), k.instances.end(), [](const auto& i) {
                   return std::any_of(i.properties.begin(), i.properties.end(),
                                      [](const Property& p) { return p.unknown; });
               });
    });
}

std::string_view WithoutIndex(std::string_view value) {
    if (value.starts_with('[')) {
        const auto close = value.find("] ");
        if (close != std::string_view::npos && close > 1 &&
            value.find_first_not_of("0123456789", 1) == close) {
            return value.substr(close + 2);
        }
    }
    return value;
}

}  // namespace qrx
