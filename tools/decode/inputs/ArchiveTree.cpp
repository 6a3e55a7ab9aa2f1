#include "tools/decode/inputs/ArchiveTree.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace qrx {

namespace {

struct ArchiveDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};

std::string Reason(archive* a) {
    const char* text = archive_error_string(a);
    return text != nullptr ? text : "不明なエラー";
}

// libarchive cannot decrypt 7z (neither its contents nor its names): retrying passwords is
// useless, unpacking it elsewhere is the way.
bool Encrypted7z(archive* a, archive_entry* entry) {
    return archive_format(a) == ARCHIVE_FORMAT_7ZIP &&
           ((entry != nullptr && archive_entry_is_encrypted(entry)) ||
            archive_read_has_encrypted_entries(a) > 0);
}
constexpr const char* kEncrypted7z =
    "パスワード付きの 7z 圧縮ファイルは、この復号プログラムでは読めません。"
    "展開ソフトで展開してから、できたフォルダーを指定してください";

bool PasswordProblem(archive* a) {
    const std::string text = Reason(a);
    return text.find("assphrase") != std::string::npos || text.find("ncrypt") != std::string::npos;
}

std::string Size(std::uint64_t bytes) {
    constexpr std::uint64_t kMiB = 1024 * 1024;
    return bytes % (1024 * kMiB) == 0 ? std::to_string(bytes / 1024 / kMiB) + " GiB"
           : bytes % kMiB == 0        ? std::to_string(bytes / kMiB) + " MiB"
                                      : std::to_string(bytes) + " バイト";
}

std::string TooLarge(std::size_t max) {
    return "展開すると " + Size(max) + " を超えるため読みません (データファイルは数 KB です)";
}

std::string RunSpent(std::uint64_t max) {
    return "この実行で展開した量が合わせて " + Size(max) +
           " を超えたため、この圧縮ファイルの残りと後の圧縮ファイルは読みません";
}

// What one archive inflates, charged to it and to the run; the reason once a limit is passed.
class Spending {
  public:
    explicit Spending(InflateBudget& budget) : budget_(budget) {}

    std::string Charge(std::uint64_t bytes) {
        archive_ += bytes;
        budget_.spent += bytes;
        if (budget_.spent > budget_.limits.run) {
            return RunSpent(budget_.limits.run);
        }
        if (archive_ > budget_.limits.archive) {
            return "展開すると合わせて " + Size(budget_.limits.archive) +
                   " を超えるため、この圧縮ファイルの残りは読みません";
        }
        return {};
    }

  private:
    InflateBudget& budget_;
    std::uint64_t archive_ = 0;
};

// A member's bytes: first those read ahead to tell what it is, then the rest, bounded.
class MemberInput : public IByteInput {
  public:
    MemberInput(archive* a, std::vector<char> first, std::size_t maxBytes, Spending& spending)
        : a_(a),
          first_(std::move(first)),
          total_(first_.size()),
          max_(maxBytes),
          spending_(spending) {}

    bool Read(char* buffer, std::size_t capacity, std::size_t& got, std::string& error) override {
        got = 0;
        if (at_ < first_.size()) {
            got = std::min(capacity, first_.size() - at_);
            std::memcpy(buffer, first_.data() + at_, got);
            at_ += got;
            return true;
        }
        if (!spent_.empty() || total_ > max_) {
            error = !spent_.empty() ? spent_ : TooLarge(max_);
            return false;
        }
        const la_ssize_t n = archive_read_data(a_, buffer, capacity);
        if (n < 0) {
            error = "展開できません: " + Reason(a_);
            return false;
        }
        total_ += static_cast<std::size_t>(n);
        spent_ = spending_.Charge(static_cast<std::size_t>(n));
        if (!spent_.empty() || total_ > max_) {
            error = !spent_.empty() ? spent_ : TooLarge(max_);
            return false;
        }
        got = static_cast<std::size_t>(n);
        return true;
    }

    std::size_t Total() const { return total_; }
    // Whether a limit of the archive or the run was passed: the reader was told.
    bool Spent() const { return !spent_.empty(); }

  private:
    archive* a_;
    std::vector<char> first_;
    std::size_t at_ = 0;
    std::size_t total_;
    std::size_t max_;
    Spending& spending_;
    std::string spent_;
};

// The formats and filters the desk gets archives in, and the passwords to try.
std::string Support(archive* a, const std::vector<std::string>& passwords) {
    archive_read_support_filter_all(a);
    archive_read_support_format_zip(a);
    // Names without the zip's UTF-8 flag are in code page 932, as Japanese Windows writes them.
    archive_read_set_format_option(a, "zip", "hdrcharset", "CP932");
    archive_read_support_format_7zip(a);
    archive_read_support_format_lha(a);
    archive_read_support_format_tar(a);
    // libarchive tries them in order for each encrypted member.
    for (const std::string& password : passwords) {
        if (archive_read_add_passphrase(a, password.c_str()) != ARCHIVE_OK) {
            return Reason(a);
        }
    }
    return {};
}

// The first bytes of a member, which tell what it is; a wrong password shows here, as one
// reason for the archive. A failure of the member itself names it in `member`.
std::string ReadHead(archive* a, archive_entry* entry, Spending& spending, std::vector<char>& first,
                     std::string& member, const std::string& name) {
    first.resize(kHeadBytes);
    std::size_t got = 0;
    for (la_ssize_t n = 1; n > 0 && got < first.size(); got += static_cast<std::size_t>(n)) {
        n = archive_read_data(a, first.data() + got, first.size() - got);
        if (n < 0) {
            if (archive_entry_is_encrypted(entry) || PasswordProblem(a)) {
                return "パスワードが違うか "
                       "(どのパスワードでも)、このパスワードでは展開できません: " +
                       Reason(a);
            }
            member = name;
            return "展開できません: " + Reason(a);
        }
        if (std::string spent = spending.Charge(static_cast<std::size_t>(n)); !spent.empty()) {
            member = name;
            return spent;
        }
    }
    first.resize(got);
    return {};
}

}  // namespace

std::string ArchiveTree::ReadArchive(const std::string& path,
                                     const std::vector<std::string>& passwords,
                                     InflateBudget& budget, const Wanted& wanted,
                                     const Member& each, std::string& member) {
    if (budget.spent > budget.limits.run) {
        return RunSpent(budget.limits.run);
    }
    const std::unique_ptr<archive, ArchiveDeleter> owner(archive_read_new());
    archive* a = owner.get();
    if (a == nullptr) {
        return "メモリが足りません";
    }
    if (std::string reason = Support(a, passwords); !reason.empty()) {
        return reason;
    }
    if (open_(a, path) != ARCHIVE_OK) {
        return "開けません: " + Reason(a);
    }
    Spending spending(budget);
    std::size_t found = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(a, &entry);
        if (r == ARCHIVE_EOF) {
            break;
        }
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            if (Encrypted7z(a, entry)) {
                return kEncrypted7z;
            }
            return "圧縮ファイルとして読めません: " + Reason(a);
        }
        const char* utf8 = archive_entry_pathname_utf8(entry);
        const char* raw = archive_entry_pathname(entry);
        const std::string name = utf8 != nullptr ? utf8 : raw != nullptr ? raw : "";
        if (archive_entry_filetype(entry) != AE_IFREG) {
            continue;
        }
        if (Encrypted7z(a, entry)) {
            return kEncrypted7z;
        }
        if (archive_entry_is_encrypted(entry) && passwords.empty()) {
            return "パスワード付きの圧縮ファイルです。--password-file "
                   "でパスワードのファイルを指定してください";
        }
        std::vector<char> first;
        if (std::string reason = ReadHead(a, entry, spending, first, member, name);
            !reason.empty()) {
            return reason;
        }
        const std::size_t got = first.size();
        const bool sized = archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0;
        const auto size = sized ? static_cast<std::uint64_t>(archive_entry_size(entry)) : 0;
        std::size_t consumed = got;
        if (wanted(name, std::string_view(first.data(), first.size()))) {
            ++found;
            if (size > budget.limits.member) {
                member = name;
                return TooLarge(budget.limits.member);
            }
            MemberInput input(a, std::move(first), budget.limits.member, spending);
            if (!each(name, input) || input.Spent()) {
                return {};
            }
            consumed = input.Total();
        }
        // Passing over the rest of a member inflates it, but in a zip or an lzh, which know
        // where the next member starts.
        const int format = archive_format(a) & ARCHIVE_FORMAT_BASE_MASK;
        if (format != ARCHIVE_FORMAT_ZIP && format != ARCHIVE_FORMAT_LHA && size > consumed) {
            if (std::string spent = spending.Charge(size - consumed); !spent.empty()) {
                return spent;
            }
        }
    }
    if (found == 0) {
        return "データファイルが入っていません";
    }
    return {};
}

}  // namespace qrx
