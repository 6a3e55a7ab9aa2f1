#include "tests/support/Fakes.h"

#include <algorithm>
#include <sstream>

#include "platform/AppError.h"
#include "platform/Base64.h"

namespace qrx::test {

std::string NameOf(ButtonId id) {
    switch (id) {
        case ButtonId::cmdRun:
            return "cmdRun";
        case ButtonId::cmdEnd:
            return "cmdEnd";
        case ButtonId::cmdNIC:
            return "cmdNIC";
        case ButtonId::cmdCPU:
            return "cmdCPU";
        case ButtonId::cmdOS:
            return "cmdOS";
        case ButtonId::cmdMB:
            return "cmdMB";
        case ButtonId::cmdUUID:
            return "cmdUUID";
    }
    return "?";
}

void FakeWindow::ShowMainWindow(const WindowLayout& s, IWindowEvents& e) {
    layout = s;
    events = &e;
    calls.push_back("show");
    for (const auto& b : s.buttons) {
        enabled[b.id] = true;
    }
    e.OnLoaded();
}

void FakeWindow::SetButtonEnabled(ButtonId id, bool on) {
    enabled[id] = on;
    calls.push_back(NameOf(id) + (on ? "+" : "-"));
}

void FakeWindow::ProcessPendingEvents() {
    calls.push_back("process");
    if (onProcessEvents) {
        onProcessEvents();
    }
}

int FakeWindow::ShowMessage(const std::string& text, int style) {
    messages.push_back({text, style, busy});
    calls.push_back("message " + std::to_string(style));
    if (answers.empty()) {
        return kIdOk;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool MemoryFileSystem::CreateFolder(const std::string& path) {
    const std::string parent = path.substr(0, path.rfind(separator));
    if (folders.contains(path) || !folders.contains(parent) || readOnly.contains(parent)) {
        return false;
    }
    folders.insert(path);
    return true;
}

bool MemoryFileSystem::AppendLine(const std::string& path, const std::string& line) {
    const std::string parent = path.substr(0, path.rfind(separator));
    if (!folders.contains(parent) || readOnly.contains(parent) || ++appends == failAppend) {
        return false;
    }
    files[path] += line + "\r\n";
    return true;
}

std::vector<std::string> MemoryFileSystem::Lines(const std::string& path) const {
    std::vector<std::string> lines;
    auto it = files.find(path);
    if (it == files.end()) {
        return lines;
    }
    const std::string& text = it->second;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// ---- ToyCrypto -----------------------------------------------------------------------------

std::uint32_t ToyCrypto::AcquireContext(Handle& prov, std::uint32_t type, std::uint32_t flags) {
    calls.push_back("acquire");
    if (type != kProvRsaAes || flags != kCryptVerifycontext) {
        return kNteBadFlags;
    }
    prov = ++next;
    contexts.insert(prov);
    return 0;
}

std::uint32_t ToyCrypto::ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t len,
                                   Handle& key) {
    calls.push_back("import");
    if (!contexts.contains(prov) || len < 12 || blob[0] != kPlaintextkeyblob) {
        return kNteBadData;
    }
    const std::uint32_t alg = blob[4] | (blob[5] << 8);
    const std::uint32_t size = blob[8];
    const std::uint32_t wanted = alg == kCalgAes128   ? 16
                                 : alg == kCalgAes192 ? 24
                                 : alg == kCalgAes256 ? 32
                                                      : 0;
    if (wanted == 0) {
        return kNteBadAlgid;
    }
    if (size != wanted || len != 12 + size) {
        return kNteBadData;
    }
    key = ++next;
    keys[key] = Bytes(blob + 12, blob + len);
    return 0;
}

std::uint32_t ToyCrypto::SetKeyParam(Handle key, std::uint32_t param, const std::uint8_t* data) {
    calls.push_back("set " + std::to_string(param));
    if (!keys.contains(key)) {
        return kNteBadKey;
    }
    if (param == kKpIv) {
        ivs[key] = Bytes(data, data + 16);
    }
    return 0;
}

std::uint32_t ToyCrypto::Encrypt(Handle key, bool, std::uint8_t* buffer, std::uint32_t& length,
                                 std::uint32_t size) {
    calls.push_back(buffer == nullptr ? "encrypt-size" : "encrypt");
    const std::uint32_t padded = (length / 16 + 1) * 16;
    if (buffer == nullptr) {
        length = padded;
        return 0;
    }
    if (size < padded) {
        return kErrorMoreData;
    }
    const auto pad = static_cast<std::uint8_t>(padded - length);
    std::fill(buffer + length, buffer + padded, pad);
    for (std::uint32_t i = 0; i < padded; ++i) {
        buffer[i] ^= keys[key][i % keys[key].size()] ^ ivs[key][i % 16];
    }
    length = padded;
    return 0;
}

std::uint32_t ToyCrypto::Decrypt(Handle key, bool, std::uint8_t* buffer, std::uint32_t& length) {
    calls.push_back("decrypt");
    if (length == 0 || length % 16 != 0) {
        return kNteBadData;
    }
    for (std::uint32_t i = 0; i < length; ++i) {
        buffer[i] ^= keys[key][i % keys[key].size()] ^ ivs[key][i % 16];
    }
    const std::uint8_t pad = buffer[length - 1];
    if (pad == 0 || pad > 16) {
        return kNteBadData;
    }
    length -= pad;
    return 0;
}

std::uint32_t ToyCrypto::DestroyKey(Handle key) {
    calls.push_back("destroy");
    return keys.erase(key) == 1 ? 0 : kNteBadKey;
}

std::uint32_t ToyCrypto::ReleaseContext(Handle prov) {
    calls.push_back("release");
    return contexts.erase(prov) == 1 ? 0 : kNteBadFlags;
}

std::string ToyCrypto::SystemMessage(std::uint32_t code, std::uint32_t) {
    auto it = texts.find(code);
    return it == texts.end() ? std::string() : it->second;
}

// ---- FaultyCrypto --------------------------------------------------------------------------

bool FaultyCrypto::Fails(Call c, const char* name) {
    log.push_back(name);
    if (c == failing && ++counts[c] == nth) {
        failedAt = log.size() - 1;
        return true;
    }
    return false;
}

std::uint32_t FaultyCrypto::AcquireContext(Handle& prov, std::uint32_t type, std::uint32_t flags) {
    return Fails(Call::Acquire, "acquire") ? code : inner.AcquireContext(prov, type, flags);
}
std::uint32_t FaultyCrypto::ImportKey(Handle prov, const std::uint8_t* blob, std::uint32_t len,
                                      Handle& key) {
    return Fails(Call::Import, "import") ? code : inner.ImportKey(prov, blob, len, key);
}
std::uint32_t FaultyCrypto::SetKeyParam(Handle key, std::uint32_t param, const std::uint8_t* data) {
    return Fails(Call::SetParam, "set") ? code : inner.SetKeyParam(key, param, data);
}
std::uint32_t FaultyCrypto::Encrypt(Handle key, bool final, std::uint8_t* buffer,
                                    std::uint32_t& length, std::uint32_t size) {
    return Fails(Call::Encrypt, "encrypt") ? code : inner.Encrypt(key, final, buffer, length, size);
}
std::uint32_t FaultyCrypto::Decrypt(Handle key, bool final, std::uint8_t* buffer,
                                    std::uint32_t& length) {
    return Fails(Call::Decrypt, "decrypt") ? code : inner.Decrypt(key, final, buffer, length);
}
std::uint32_t FaultyCrypto::DestroyKey(Handle key) {
    // The wrapped key is destroyed even when the failure is reported, as a real provider
    // would have done before the error surfaced.
    const std::uint32_t result = inner.DestroyKey(key);
    return Fails(Call::Destroy, "destroy") ? code : result;
}
std::uint32_t FaultyCrypto::ReleaseContext(Handle prov) {
    const std::uint32_t result = inner.ReleaseContext(prov);
    return Fails(Call::Release, "release") ? code : result;
}

// ---- FakeCodec -----------------------------------------------------------------------------

Bytes FakeCodec::ToShiftJis(const std::string& text) {
    if (failToBytes) {
        throw AppError(3004, "ADODB.Stream", "書き込みに失敗しました。");
    }
    return Bytes(text.begin(), text.end());
}

std::string FakeCodec::FromShiftJis(const Bytes& bytes) {
    if (failToText) {
        throw AppError(3001, "ADODB.Stream", "引数が無効です。");
    }
    return std::string(bytes.begin(), bytes.end());
}

std::string FakeCodec::Base64Encode(const Bytes& bytes) {
    return qrx::Base64Encode(bytes);
}
Bytes FakeCodec::Base64Decode(const std::string& text) {
    return qrx::Base64Decode(text);
}

}  // namespace qrx::test
