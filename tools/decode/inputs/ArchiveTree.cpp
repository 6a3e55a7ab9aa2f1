#include "tools/decode/inputs/ArchiveTree.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
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

// A member's bytes: first those read ahead to check the password, then the rest, bounded.
class MemberInput : public IByteInput {
  public:
    MemberInput(archive* a, std::vector<char> first, std::size_t maxBytes)
        : a_(a), first_(std::move(first)), total_(first_.size()), max_(maxBytes) {}

    bool Read(char* buffer, std::size_t capacity, std::size_t& got, std::string& error) override {
        got = 0;
        if (at_ < first_.size()) {
            got = std::min(capacity, first_.size() - at_);
            std::memcpy(buffer, first_.data() + at_, got);
            at_ += got;
            return true;
        }
        if (total_ > max_) {
            error = TooLarge(max_);
            return false;
        }
        const la_ssize_t n = archive_read_data(a_, buffer, capacity);
        if (n < 0) {
            error = "展開できません: " + Reason(a_);
            return false;
        }
        total_ += static_cast<std::size_t>(n);
        if (total_ > max_) {
            error = TooLarge(max_);
            return false;
        }
        got = static_cast<std::size_t>(n);
        return true;
    }

    static std::string TooLarge(std::size_t max) {
        return "展開すると " + std::to_string(max / 1024 / 1024) +
               " MiB を超えるため読みません (データファイルは数 KB です)";
    }

  private:
    archive* a_;
    std::vector<char> first_;
    std::size_t at_ = 0;
    std::size_t total_;
    std::size_t max_;
};

}  // namespace

std::string ArchiveTree::ReadArchive(const std::string& path,
                                     const std::vector<std::string>& passwords,
                                     std::size_t maxBytes,
                                     const std::function<bool(std::string_view)>& wanted,
                                     const Member& each, std::string& member) {
    const std::unique_ptr<archive, ArchiveDeleter> owner(archive_read_new());
    archive* a = owner.get();
    if (a == nullptr) {
        return "メモリが足りません";
    }
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
    if (open_(a, path) != ARCHIVE_OK) {
        return "開けません: " + Reason(a);
    }
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
        if (archive_entry_filetype(entry) != AE_IFREG || !wanted(name)) {
            continue;
        }
        ++found;
        if (Encrypted7z(a, entry)) {
            return kEncrypted7z;
        }
        if (archive_entry_is_encrypted(entry) && passwords.empty()) {
            return "パスワード付きの圧縮ファイルです。--password-file "
                   "でパスワードのファイルを指定してください";
        }
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0 &&
            static_cast<std::size_t>(archive_entry_size(entry)) > maxBytes) {
            member = name;
            return MemberInput::TooLarge(maxBytes);
        }
        // The first bytes now: a wrong password shows here, as one reason for the archive.
        std::vector<char> first(64 * 1024);
        const la_ssize_t n = archive_read_data(a, first.data(), first.size());
        if (n < 0) {
            if (archive_entry_is_encrypted(entry) || PasswordProblem(a)) {
                return "パスワードが違うか "
                       "(どのパスワードでも)、このパスワードでは展開できません: " +
                       Reason(a);
            }
            member = name;
            return "展開できません: " + Reason(a);
        }
        first.resize(static_cast<std::size_t>(n));
        MemberInput input(a, std::move(first), maxBytes);
        if (!each(name, input)) {
            return {};
        }
    }
    if (found == 0) {
        return "データファイル (PC_INFO_*.dat) が入っていません";
    }
    return {};
}

}  // namespace qrx
