#include "platform/SystemFailure.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace qrx {

namespace {

struct Known {
    int error;
    const char* name;
    FailureKind kind;
    const char* text;
};

// The reasons a desk meets when it opens, lists and writes files.
const Known kKnown[] = {
    {ENOENT, "ENOENT", FailureKind::NotFound, "ファイルがありません"},
    {ENOTDIR, "ENOTDIR", FailureKind::NotFound, "途中の名前がフォルダーではありません"},
    {EACCES, "EACCES", FailureKind::Denied, "アクセスが許可されていません"},
    {EPERM, "EPERM", FailureKind::Denied, "アクセスが許可されていません"},
    {EROFS, "EROFS", FailureKind::Denied, "読み取り専用の場所です"},
    {EISDIR, "EISDIR", FailureKind::IsFolder, "フォルダーです"},
    {ELOOP, "ELOOP", FailureKind::NotRegular, "リンクです (たどりません)"},
    {ENXIO, "ENXIO", FailureKind::NotRegular, "デバイスがありません"},
    {ENODEV, "ENODEV", FailureKind::NotRegular, "デバイスがありません"},
    {EEXIST, "EEXIST", FailureKind::Exists, "既にあります"},
    {EBUSY, "EBUSY", FailureKind::Locked, "使用中です"},
    {ETXTBSY, "ETXTBSY", FailureKind::Locked, "使用中です"},
    {EAGAIN, "EAGAIN", FailureKind::Locked, "使用中です"},
    {EFBIG, "EFBIG", FailureKind::TooLarge, "ファイルが大きすぎます"},
    {ENAMETOOLONG, "ENAMETOOLONG", FailureKind::TooLarge, "名前が長すぎます"},
    {ENOSPC, "ENOSPC", FailureKind::DiskFull, "ディスクがいっぱいです"},
    {EIO, "EIO", FailureKind::Io, "ディスクか接続の入出力エラーです"},
    {EPIPE, "EPIPE", FailureKind::Io, "出力先が閉じられました"},
    {ENOMEM, "ENOMEM", FailureKind::NoMemory, "メモリが足りません"},
    {EMFILE, "EMFILE", FailureKind::NoMemory, "開いているファイルが多すぎます"},
    {ENFILE, "ENFILE", FailureKind::NoMemory, "開いているファイルが多すぎます"},
};

}  // namespace

Failure FromErrno(int error) {
    for (const Known& k : kKnown) {
        if (k.error == error) {
            return {k.kind, k.text, k.name};
        }
    }
    return {FailureKind::Other, std::strerror(error), "errno " + std::to_string(error)};
}

Failure FromErrorCode(const std::error_code& error) {
    const std::error_condition condition = error.default_error_condition();
    if (condition.category() == std::generic_category()) {
        return FromErrno(condition.value());
    }
    return {FailureKind::Other, error.message(), std::to_string(error.value())};
}

}  // namespace qrx
