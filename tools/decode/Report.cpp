#include "tools/decode/Report.h"

#include "tools/decode/Diff.h"
#include "tools/decode/Html.h"

namespace qrx {

int Report::ParseOption(const std::vector<std::string>& args, std::size_t i) {
    const std::string& a = args[i];
    if (a == "--diff") {
        diff_ = true;
    } else if (a == "--html") {
        html_ = true;
    } else if (a == "--mask") {
        mask_ = true;
    } else if (a == "--mask-key") {
        if (i + 1 >= args.size()) {
            return -1;
        }
        mask_ = true;
        maskKey_ = args[i + 1];
        return 2;
    } else {
        return 0;
    }
    return 1;
}

std::string Report::Check(const std::vector<std::string>& files, bool json) {
    if (diff_ && html_) {
        return "--diff と --html は同時に使えません";
    }
    if (html_ && json) {
        return "--html と --json は同時に使えません";
    }
    if (diff_ && files.size() != 2) {
        return "--diff には比較する 2 つのファイルを指定してください";
    }
    if (diff_ && files[0] == "-" && files[1] == "-") {
        return "--diff で標準入力を読めるのは片方だけです";
    }
    if (mask_) {
        masker_ = std::make_unique<Masker>(maskKey_ ? *maskKey_ : Masker::RandomKey());
    }
    return {};
}

std::string Report::Mask(const std::string& record) const {
    return masker_ ? masker_->Record(record) : record;
}

void Report::BeginFile(const std::string& name) {
    collections_.emplace_back().file = name;
    builder_ = std::make_unique<CollectionBuilder>(collections_.back());
}

void Report::Unreadable(const std::string& name, const std::string& reason) {
    BeginFile(name);
    collections_.back().unreadable = reason;
}

void Report::Record(const std::string& text, bool unencrypted) {
    builder_->Add(Mask(text), unencrypted);
}

void Report::Failure(std::size_t line, const std::string& reason) {
    collections_.back().failures.push_back({line, reason});
}

int Report::Finish(std::ostream& out, bool json, int status) {
    if (html_) {
        WriteHtml(out, collections_, mask_);
        return status;
    }
    if (status == 2 || collections_.size() != 2) {
        return 2;  // a file that could not be read: nothing to compare
    }
    const auto changes = Compare(collections_[0], collections_[1]);
    if (json) {
        WriteDiffJson(out, collections_[0], collections_[1], changes);
    } else {
        WriteDiffText(out, collections_[0], collections_[1], changes);
    }
    return status != 0 ? 2 : changes.empty() ? 0 : 1;
}

}  // namespace qrx
