#include "platform/windows/WinCrypto.h"

#include <windows.h>

#include <wincrypt.h>

#include "platform/windows/WinText.h"

namespace qrx {

namespace {

// The last error of the call that just failed; a failure without one still fails.
std::uint32_t Failed() {
    const DWORD code = GetLastError();
    return code != 0 ? code : 0x80004005u;
}

}  // namespace

std::uint32_t WinCrypto::AcquireContext(Handle& prov, std::uint32_t provType, std::uint32_t flags) {
    HCRYPTPROV h = 0;
    if (!CryptAcquireContextA(&h, nullptr, nullptr, provType, flags)) {
        return Failed();
    }
    prov = h;
    return 0;
}

std::uint32_t WinCrypto::ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t blobLen,
                                   Handle& key) {
    HCRYPTKEY h = 0;
    if (!CryptImportKey(prov, blob, blobLen, 0, 0, &h)) {
        return Failed();
    }
    key = h;
    return 0;
}

std::uint32_t WinCrypto::SetKeyParam(Handle key, std::uint32_t param, const std::uint8_t* data) {
    return CryptSetKeyParam(key, param, data, 0) ? 0 : Failed();
}

std::uint32_t WinCrypto::Encrypt(Handle key, bool final, std::uint8_t* buffer,
                                 std::uint32_t& length, std::uint32_t bufferSize) {
    DWORD n = length;
    const BOOL ok = CryptEncrypt(key, 0, final, 0, buffer, &n, bufferSize);
    if (!ok) {
        return Failed();
    }
    length = n;
    return 0;
}

std::uint32_t WinCrypto::Decrypt(Handle key, bool final, std::uint8_t* buffer,
                                 std::uint32_t& length) {
    DWORD n = length;
    if (!CryptDecrypt(key, 0, final, 0, buffer, &n)) {
        return Failed();
    }
    length = n;
    return 0;
}

std::uint32_t WinCrypto::DestroyKey(Handle key) {
    return CryptDestroyKey(key) ? 0 : Failed();
}

std::uint32_t WinCrypto::ReleaseContext(Handle prov) {
    return CryptReleaseContext(prov, 0) ? 0 : Failed();
}

std::string WinCrypto::SystemMessage(std::uint32_t code, std::uint32_t languageId) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, languageId, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (n == 0) {
        return {};
    }
    std::wstring text(buffer, n);
    LocalFree(buffer);
    return Narrow(text);
}

}  // namespace qrx
