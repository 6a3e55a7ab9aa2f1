#include "tools/decode/inputs/ArchiveTree.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/SystemFailure.h"

namespace qrx {

namespace {

struct ArchiveDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};

bool Has(std::string_view text, std::initializer_list<std::string_view> words) {
    return std::any_of(words.begin(), words.end(),
                       [&](std::string_view w) { return text.find(w) != std::string_view::npos; });
}

// libarchive's reason in the desk's words, its own text kept at the end. A reason of the system
// (the archive cannot be opened, a read fails) is said as the system's.
Failure Reason(archive* a) {
    const char* said = archive_error_string(a);
    const std::string text = said != nullptr ? said : "";
    // libarchive says EILSEQ of a file's format and EINVAL of its own use, -1 of the rest.
    const int error = archive_errno(a);
    if (error > 0 && error != EILSEQ && error != EINVAL) {
        return FromErrno(error);
    }
    struct Kind {
        FailureKind kind;
        std::initializer_list<std::string_view> words;
        const char* desk;
    };
    static const Kind kKinds[] = {
        {FailureKind::Password,
         {"Incorrect passphrase", "Passphrase required"},
         "パスワードが違います"},
        {FailureKind::Unsupported, {"ncrypt"}, "この暗号化方式には対応していません"},
        {FailureKind::Damaged,
         {"runcated", "Premature end", "Unexpected EOF"},
         "途中で切れています (ダウンロードかコピーが終わっていないかもしれません)"},
        {FailureKind::Unsupported,
         {"Unrecognized archive format"},
         "圧縮ファイルの形式が分かりません"},
        {FailureKind::Unsupported,
         {"nsupported", "not supported"},
         "対応していない形式か圧縮方法です"},
        {FailureKind::Damaged,
         {"CRC", "hecksum", "amaged", "orrupt", "Bad ", "Invalid", "Zlib", "rror"},
         "壊れています"},
    };
    for (const Kind& k : kKinds) {
        if (Has(text, k.words)) {
            return {k.kind, k.desk, text};
        }
    }
    return {FailureKind::Other, "圧縮ファイルを読めません", text.empty() ? "不明なエラー" : text};
}

// libarchive cannot decrypt 7z (neither its contents nor its names): retrying passwords is
// useless, unpacking it elsewhere is the way.
bool Encrypted7z(archive* a, archive_entry* entry) {
    return archive_format(a) == ARCHIVE_FORMAT_7ZIP &&
           ((entry != nullptr && archive_entry_is_encrypted(entry)) ||
            archive_read_has_encrypted_entries(a) > 0);
}
const Failure kEncrypted7z{FailureKind::Unsupported,
                           "パスワード付きの 7z 圧縮ファイルは、この復号プログラムでは読めません。"
                           "展開ソフトで展開してから、できたフォルダーを指定してください",
                           {}};

std::string Size(std::uint64_t bytes) {
    constexpr std::uint64_t kMiB = 1024 * 1024;
    return bytes % (1024 * kMiB) == 0 ? std::to_string(bytes / 1024 / kMiB) + " GiB"
           : bytes % kMiB == 0        ? std::to_string(bytes / kMiB) + " MiB"
                                      : std::to_string(bytes) + " バイト";
}

Failure TooLarge(std::size_t max) {
    return {FailureKind::TooLarge,
            "展開すると " + Size(max) + " を超えるため読みません (データファイルは数 KB です)",
            {}};
}

Failure RunSpent(std::uint64_t max) {
    return {FailureKind::TooLarge,
            "この実行で展開した量が合わせて " + Size(max) +
                " を超えたため、この圧縮ファイルの残りと後の圧縮ファイルは読みません",
            {}};
}

// What one archive inflates, charged to it and to the run; fails once a limit is passed.
class Spending {
  public:
    explicit Spending(InflateBudget& budget) : budget_(budget) {}

    Done Charge(std::uint64_t bytes) {
        archive_ += bytes;
        budget_.spent += bytes;
        if (budget_.spent > budget_.limits.run) {
            return RunSpent(budget_.limits.run);
        }
        if (archive_ > budget_.limits.archive) {
            return Failure{FailureKind::TooLarge,
                           "展開すると合わせて " + Size(budget_.limits.archive) +
                               " を超えるため、この圧縮ファイルの残りは読みません",
                           {}};
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

    Result<std::size_t> Read(char* buffer, std::size_t capacity) override {
        if (at_ < first_.size()) {
            const std::size_t got = std::min(capacity, first_.size() - at_);
            std::memcpy(buffer, first_.data() + at_, got);
            at_ += got;
            return got;
        }
        if (!spent_ || total_ > max_) {
            return !spent_ ? spent_.failure() : TooLarge(max_);
        }
        const la_ssize_t n = archive_read_data(a_, buffer, capacity);
        if (n < 0) {
            return Reason(a_).In("展開できません");
        }
        total_ += static_cast<std::size_t>(n);
        spent_ = spending_.Charge(static_cast<std::size_t>(n));
        if (!spent_ || total_ > max_) {
            return !spent_ ? spent_.failure() : TooLarge(max_);
        }
        return static_cast<std::size_t>(n);
    }

    std::size_t Total() const { return total_; }
    // Whether a limit of the archive or the run was passed: the reader was told.
    bool Spent() const { return !spent_; }

  private:
    archive* a_;
    std::vector<char> first_;
    std::size_t at_ = 0;
    std::size_t total_;
    std::size_t max_;
    Spending& spending_;
    Done spent_;
};

// The formats and filters the desk gets archives in, and the passwords to try.
Done Support(archive* a, const std::vector<std::string>& passwords) {
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
Done ReadHead(archive* a, archive_entry* entry, Spending& spending, std::vector<char>& first,
              std::string& member, const std::string& name) {
    first.resize(kHeadBytes);
    std::size_t got = 0;
    for (la_ssize_t n = 1; n > 0 && got < first.size(); got += static_cast<std::size_t>(n)) {
        n = archive_read_data(a, first.data() + got, first.size() - got);
        if (n < 0) {
            const Failure why = Reason(a);
            if (why.kind == FailureKind::Password ||
                (archive_entry_is_encrypted(entry) && why.kind != FailureKind::Unsupported)) {
                return Failure{FailureKind::Password,
                               "パスワードが違うか (どのパスワードでも)、"
                               "このパスワードでは展開できません",
                               why.code};
            }
            member = name;
            return why.In("展開できません");
        }
        if (Done spent = spending.Charge(static_cast<std::size_t>(n)); !spent) {
            member = name;
            return spent;
        }
    }
    first.resize(got);
    return {};
}

}  // namespace

Done ArchiveTree::ReadArchive(const std::string& path, const std::vector<std::string>& passwords,
                              InflateBudget& budget, const Wanted& wanted, const Member& each,
                              std::string& member) {
    if (budget.spent > budget.limits.run) {
        return RunSpent(budget.limits.run);
    }
    const std::unique_ptr<archive, ArchiveDeleter> owner(archive_read_new());
    archive* a = owner.get();
    if (a == nullptr) {
        return Failure{FailureKind::NoMemory, "メモリが足りません", {}};
    }
    if (Done supported = Support(a, passwords); !supported) {
        return supported;
    }
    if (open_(a, path) != ARCHIVE_OK) {
        return Reason(a).In("開けません");
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
            return Reason(a).In("圧縮ファイルとして読めません");
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
            return Failure{FailureKind::Password,
                           "パスワード付きの圧縮ファイルです。--password-file "
                           "でパスワードのファイルを指定してください",
                           {}};
        }
        std::vector<char> first;
        if (Done head = ReadHead(a, entry, spending, first, member, name); !head) {
            return head;
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
            if (Done spent = spending.Charge(size - consumed); !spent) {
                return spent;
            }
        }
    }
    if (found == 0) {
        return Failure{FailureKind::NotFound, "データファイルが入っていません", {}};
    }
    return {};
}

}  // namespace qrx
