#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/decode/Mask.h"
#include "tools/decode/Records.h"

namespace qrx {

// The support desk's reports over decoded files: `--diff OLD NEW`, `--html` and `--mask`
// (with `--mask-key TEXT`). The decoder reads the files and hands every record and failure here.
class Report {
  public:
    // Takes the option at args[i] when it is one of these; returns how many arguments it used
    // (0: not one of these), or -1 when its argument is missing.
    int ParseOption(const std::vector<std::string>& args, std::size_t i);
    // Checks the options against the files; a message for a usage error, else empty.
    std::string Check(const std::vector<std::string>& files, bool json);

    bool Collects() const { return diff_ || html_; }
    bool Diff() const { return diff_; }
    // The record with its personal values masked when `--mask` is on.
    std::string Mask(const std::string& record) const;
    bool Masks() const { return masker_ != nullptr; }

    void BeginFile(const std::string& name);
    void Unreadable(const std::string& name, const std::string& reason);
    void Record(const std::string& text, bool unencrypted);
    void Failure(std::size_t line, const std::string& reason);

    // Writes the diff or the page. `status` is that of decoding (0, 1 or 2); returns the exit
    // status: for a diff 0 the same, 1 different, 2 trouble (a file not read, a line not decoded).
    int Finish(std::ostream& out, bool json, int status);

  private:
    bool diff_ = false;
    bool html_ = false;
    bool mask_ = false;
    std::optional<std::string> maskKey_;
    std::unique_ptr<Masker> masker_;
    std::vector<Collection> collections_;
    std::unique_ptr<CollectionBuilder> builder_;
};

}  // namespace qrx
