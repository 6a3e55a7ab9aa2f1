#include "platform/windows/WinFailure.h"

#include <windows.h>

#include <string>

#include "platform/windows/WinText.h"

namespace qrx {

namespace {

struct Known {
    DWORD error;
    const char* name;
    FailureKind kind;
    const char* text;
};

// The reasons a desk meets when it opens, lists and writes files.
const Known kKnown[] = {
    {ERROR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND", FailureKind::NotFound, "ファイルがありません"},
    {ERROR_PATH_NOT_FOUND, "ERROR_PATH_NOT_FOUND", FailureKind::NotFound, "フォルダーがありません"},
    {ERROR_BAD_NETPATH, "ERROR_BAD_NETPATH", FailureKind::NotFound,
     "ネットワーク上の場所が見つかりません"},
    {ERROR_INVALID_NAME, "ERROR_INVALID_NAME", FailureKind::NotFound,
     "ファイル名に使えない文字があります"},
    {ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED", FailureKind::Denied,
     "アクセスが許可されていません"},
    {ERROR_WRITE_PROTECT, "ERROR_WRITE_PROTECT", FailureKind::Denied, "書き込み禁止の場所です"},
    {ERROR_DIRECTORY, "ERROR_DIRECTORY", FailureKind::IsFolder,
     "フォルダーの名前が正しくありません"},
    {ERROR_FILE_EXISTS, "ERROR_FILE_EXISTS", FailureKind::Exists, "既にあります"},
    {ERROR_ALREADY_EXISTS, "ERROR_ALREADY_EXISTS", FailureKind::Exists, "既にあります"},
    {ERROR_SHARING_VIOLATION, "ERROR_SHARING_VIOLATION", FailureKind::Locked,
     "ほかのプログラムが使用中です"},
    {ERROR_LOCK_VIOLATION, "ERROR_LOCK_VIOLATION", FailureKind::Locked,
     "ほかのプログラムがロックしています"},
    {ERROR_FILE_TOO_LARGE, "ERROR_FILE_TOO_LARGE", FailureKind::TooLarge, "ファイルが大きすぎます"},
    {ERROR_FILENAME_EXCED_RANGE, "ERROR_FILENAME_EXCED_RANGE", FailureKind::TooLarge,
     "名前が長すぎます"},
    {ERROR_DISK_FULL, "ERROR_DISK_FULL", FailureKind::DiskFull, "ディスクがいっぱいです"},
    {ERROR_HANDLE_DISK_FULL, "ERROR_HANDLE_DISK_FULL", FailureKind::DiskFull,
     "ディスクがいっぱいです"},
    {ERROR_CRC, "ERROR_CRC", FailureKind::Io, "ディスクのデータが壊れています"},
    {ERROR_READ_FAULT, "ERROR_READ_FAULT", FailureKind::Io, "ディスクから読めません"},
    {ERROR_WRITE_FAULT, "ERROR_WRITE_FAULT", FailureKind::Io, "ディスクに書けません"},
    {ERROR_IO_DEVICE, "ERROR_IO_DEVICE", FailureKind::Io, "デバイスの入出力エラーです"},
    {ERROR_NOT_READY, "ERROR_NOT_READY", FailureKind::Io, "ドライブの準備ができていません"},
    {ERROR_NETNAME_DELETED, "ERROR_NETNAME_DELETED", FailureKind::Io,
     "ネットワークの接続が切れました"},
    {ERROR_NO_DATA, "ERROR_NO_DATA", FailureKind::Io, "出力先が閉じられました"},
    {ERROR_BROKEN_PIPE, "ERROR_BROKEN_PIPE", FailureKind::Io, "出力先が閉じられました"},
    {ERROR_NOT_ENOUGH_MEMORY, "ERROR_NOT_ENOUGH_MEMORY", FailureKind::NoMemory,
     "メモリが足りません"},
    {ERROR_OUTOFMEMORY, "ERROR_OUTOFMEMORY", FailureKind::NoMemory, "メモリが足りません"},
    {ERROR_TOO_MANY_OPEN_FILES, "ERROR_TOO_MANY_OPEN_FILES", FailureKind::NoMemory,
     "開いているファイルが多すぎます"},
};

// The system's own text for a code, in its language, on one line.
std::string SystemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring said = n > 0 && text != nullptr ? std::wstring(text, n) : L"";
    LocalFree(text);
    while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r' || said.back() == L' ')) {
        said.pop_back();
    }
    return said.empty() ? "システムのエラーです" : Narrow(said);
}

}  // namespace

Failure FromWin32(unsigned long error) {
    for (const Known& k : kKnown) {
        if (k.error == error) {
            return {k.kind, k.text, k.name};
        }
    }
    return {FailureKind::Other, SystemText(error), "Win32 " + std::to_string(error)};
}

}  // namespace qrx
