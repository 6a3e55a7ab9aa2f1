#include "tools/decode/formats/Format.h"

#include "tools/decode/formats/DiffFormat.h"

namespace qrx {

void Output::Flush() {
    if (!failed_ && !buffer_.empty() && !out_.Write(buffer_.data(), buffer_.size(), error_)) {
        failed_ = true;
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

std::string CollectingFormat::Full() const {
    if (bytes_ + (builder_ ? builder_->Bytes() : 0) <= kMaxCollectedBytes) {
        return {};
    }
    return "記録が多すぎます: --diff と --html で扱えるのは全ファイルで " +
           std::to_string(kMaxCollectedBytes / 1024 / 1024) +
           " MiB までです (1 回の収集は数 KB です)。ファイルごとに --json をお使いください";
}

int DiffFormat::Finish(int status) {
    if (status == kExitNotDone || collections_.size() != 2) {
        return kExitNotDone;  // a file that could not be read: nothing to compare
    }
    const auto changes = Compare(collections_[0], collections_[1]);
    Write(collections_[0], collections_[1], changes);
    return status != kExitDecoded ? kExitNotDone : changes.empty() ? 0 : 1;
}

}  // namespace qrx
