#include "tools/decode/formats/Format.h"

#include "tools/decode/formats/DiffFormat.h"
#include "tools/decode/formats/Html.h"

namespace qrx {

void Output::Flush() {
    if (!failure_ && !buffer_.empty()) {
        if (Done written = out_.Write(buffer_.data(), buffer_.size()); !written) {
            failure_ = written.failure();
        }
    }
    buffer_.clear();
}

void CollectingFormat::BeginFile(const std::string& name, bool) {
    collections_.emplace_back().file = name;
    builder_ = std::make_unique<ClassBuilder>([this](ClassRecords&& c, std::size_t bytes) {
        collections_.back().classes.push_back(std::move(c));
        bytes_ += bytes + sizeof(ClassRecords);
    });
}

void CollectingFormat::Record(const PlacedRecord& record) {
    builder_->Add(record);
}

void CollectingFormat::Failure(std::size_t line, const std::string& reason) {
    auto& failures = collections_.back().failures;
    failures.push_back({line, reason});
    bytes_ += sizeof(LineFailure) + reason.capacity();
}

void CollectingFormat::EndFile() {
    builder_->Finish();
}

Done CollectingFormat::Room() const {
    if (bytes_ + (builder_ ? builder_->Bytes() : 0) <= kMaxCollectedBytes) {
        return {};
    }
    return qrx::Failure{FailureKind::TooLarge,
                        "記録が多すぎます: --diff と --html で扱えるのは全ファイルで " +
                            std::to_string(kMaxCollectedBytes / 1024 / 1024) +
                            " MiB までです (1 回の収集は数 KB です)。ファイルごとに --json "
                            "をお使いください",
                        {}};
}

namespace {

// The first value of a single-instance class's property, or null.
const std::string* FirstValue(const Collection& c, std::string_view cls, std::string_view name) {
    for (const auto& k : c.classes) {
        if (k.name == cls && !k.instances.empty()) {
            const Property* p = k.instances.front().Find(name);
            return p != nullptr && !p->values.empty() ? &p->values.front() : nullptr;
        }
    }
    return nullptr;
}

}  // namespace

std::vector<std::string> DiffWarnings(const Collection& old, const Collection& now) {
    std::vector<std::string> warnings;
    int compared = 0, differ = 0;
    for (const auto& [cls, name] : {std::pair{"Win32_ComputerSystemProduct", "UUID"},
                                    std::pair{"Win32_OperatingSystem", "CSName"}}) {
        const std::string* a = FirstValue(old, cls, name);
        const std::string* b = FirstValue(now, cls, name);
        if (a != nullptr && b != nullptr) {
            ++compared;
            differ += *a != *b;
        }
    }
    if (compared > 0 && differ == compared) {
        warnings.push_back(compared == 2
                               ? "別の PC のデータです (UUID と CSName が違います)"
                               : "別の PC のデータかもしれません (UUID か CSName が違います)");
    }
    if (HasUnknown(old) || HasUnknown(now)) {
        warnings.push_back(kNewerProgram);
    }
    const std::string oldTime = CollectionTime(old.file), newTime = CollectionTime(now.file);
    if (!oldTime.empty() && !newTime.empty() && oldTime > newTime) {
        warnings.push_back("旧ファイルの方が新しい収集日時です (旧 " + oldTime + "、新 " + newTime +
                           ")。順番が逆ではありませんか");
    }
    return warnings;
}

int DiffFormat::Finish(int status) {
    if (status == kExitNotDone || collections_.size() != 2) {
        return kExitNotDone;  // a file that could not be read: nothing to compare
    }
    const auto changes = Compare(collections_[0], collections_[1]);
    warnings_ = DiffWarnings(collections_[0], collections_[1]);
    Write(collections_[0], collections_[1], changes);
    return status != kExitDecoded ? kExitNotDone : changes.empty() ? 0 : 1;
}

}  // namespace qrx
