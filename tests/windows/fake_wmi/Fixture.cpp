#include "tests/windows/fake_wmi/Fixture.h"

#include <cstdint>
#include <cwchar>
#include <fstream>
#include <sstream>

namespace qrx::fakewmi {

std::wstring Wide(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

namespace {

constexpr const wchar_t* kClassKey =
    L"Software\\Classes\\CLSID\\{6C1E3F0A-19AB-4E6B-9F12-0D5A7C3B2E19}";

std::wstring FixturePath() {
    wchar_t buffer[1024] = {};
    const DWORD n = GetEnvironmentVariableW(L"QRX_FAKE_WMI_FIXTURE", buffer, 1024);
    if (n > 0 && n < 1024) {
        return buffer;
    }
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kClassKey, L"Fixture", RRF_RT_REG_SZ, nullptr, buffer,
                     &size) == ERROR_SUCCESS) {
        return buffer;
    }
    return L"";
}

// A value the scripting interface can hand: text, null, a boolean, a 32-bit integer, or an
// array of those (not of arrays).
bool IsValue(const Json& value, bool element) {
    if (value.is_string() || value.is_null() || value.is_boolean()) {
        return true;
    }
    if (value.is_number_integer()) {
        const auto n = value.get<std::int64_t>();
        return n >= INT32_MIN && n <= INT32_MAX;
    }
    if (value.is_array() && !element) {
        for (const auto& e : value) {
            if (!IsValue(e, true)) {
                return false;
            }
        }
        return true;
    }
    return false;
}

bool ReadInstances(const Json& list, FixtureClass& cls, std::wstring* problem) {
    if (!list.is_array()) {
        *problem = L"instances are not an array";
        return false;
    }
    for (const auto& instance : list) {
        if (!instance.is_object()) {
            *problem = L"an instance is not an object";
            return false;
        }
        for (const auto& [name, value] : instance.items()) {
            if (!IsValue(value, false)) {
                *problem = L"the value of " + Wide(name) + L" is of no type the fake hands";
                return false;
            }
        }
        cls.instances.push_back(&instance);
    }
    return true;
}

bool ReadClass(const Json& entry, FixtureClass& cls, std::wstring* problem) {
    if (!entry.is_object()) {
        return ReadInstances(entry, cls, problem);
    }
    for (const auto& [key, value] : entry.items()) {
        if (key == "instances") {
            if (!ReadInstances(value, cls, problem)) {
                return false;
            }
        } else if (key == "_fail") {
            const Json hresult = value.value("hresult", Json());
            if (!hresult.is_string() || !value.value("description", Json()).is_string()) {
                *problem = L"_fail needs \"hresult\" and \"description\" texts";
                return false;
            }
            cls.failure = static_cast<HRESULT>(std::stoul(hresult.get<std::string>(), nullptr, 16));
            cls.failDescription = Wide(value["description"].get<std::string>());
            if (SUCCEEDED(cls.failure)) {
                *problem = L"_fail's hresult is not a failure";
                return false;
            }
        } else if (key == "_delay_ms" && value.is_number_unsigned()) {
            cls.delayMs = value.get<DWORD>();
        } else {
            *problem = L"unknown key " + Wide(key);
            return false;
        }
    }
    return true;
}

}  // namespace

std::shared_ptr<const Fixture> Fixture::Load(std::wstring* problem) {
    const std::wstring path = FixturePath();
    if (path.empty()) {
        *problem = L"no fixture is set (QRX_FAKE_WMI_FIXTURE, or run scripts/wine-fake-wmi.sh)";
        return nullptr;
    }
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        *problem = L"cannot read " + path;
        return nullptr;
    }
    auto fixture = Parse(text.str(), problem);
    if (fixture == nullptr) {
        *problem = path + L": " + *problem;
    }
    return fixture;
}

std::shared_ptr<const Fixture> Fixture::Parse(const std::string& text, std::wstring* problem) {
    auto fixture = std::make_shared<Fixture>();
    fixture->root_ = Json::parse(text, nullptr, false);
    if (!fixture->root_.is_object()) {
        *problem = L"not a JSON object";
        return nullptr;
    }
    try {
        for (const auto& [name, entry] : fixture->root_.items()) {
            FixtureClass cls;
            if (!ReadClass(entry, cls, problem)) {
                *problem = Wide(name) + L": " + *problem;
                return nullptr;
            }
            fixture->classes_.emplace_back(Wide(name), std::move(cls));
        }
    } catch (const std::exception& e) {
        *problem = Wide(e.what());
        return nullptr;
    }
    return fixture;
}

const FixtureClass& Fixture::Class(const std::wstring& name) const {
    for (const auto& [className, cls] : classes_) {
        if (_wcsicmp(className.c_str(), name.c_str()) == 0) {
            return cls;
        }
    }
    return none_;
}

const Json* Fixture::Find(const Json& instance, const std::wstring& name) {
    for (const auto& [key, value] : instance.items()) {
        if (_wcsicmp(Wide(key).c_str(), name.c_str()) == 0) {
            return &value;
        }
    }
    return nullptr;
}

}  // namespace qrx::fakewmi
