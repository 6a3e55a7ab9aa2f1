// The fixture that fake_wmi.dll serves: a JSON object that maps a class name to its instances,
// each an object of property name to value, or to an object with "instances", "_fail"
// ({"hresult", "description"}) and "_delay_ms". Names are matched without regard to case, as
// the management instrumentation matches them.
#pragma once

#include <windows.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace qrx::fakewmi {

using Json = nlohmann::json;

// UTF-8 as UTF-16.
std::wstring Wide(const std::string& utf8);

struct FixtureClass {
    std::vector<const Json*> instances;  // property name -> value, in order
    HRESULT failure = S_OK;              // "_fail": the query's error
    std::wstring failDescription;
    DWORD delayMs = 0;  // "_delay_ms": the time every step of the enumeration takes
};

class Fixture {
  public:
    // The fixture named by the environment variable QRX_FAKE_WMI_FIXTURE or, without it, by the
    // value "Fixture" of the fake's class key (scripts/wine-fake-wmi.sh sets it); null with
    // `problem` set when it cannot be read or is not a fixture.
    static std::shared_ptr<const Fixture> Load(std::wstring* problem);
    static std::shared_ptr<const Fixture> Parse(const std::string& text, std::wstring* problem);

    // The class of that name; one without instances when the fixture does not have it.
    const FixtureClass& Class(const std::wstring& name) const;
    // The value of a property of an instance, or null when the instance has no such property.
    static const Json* Find(const Json& instance, const std::wstring& name);

  private:
    Json root_;
    std::vector<std::pair<std::wstring, FixtureClass>> classes_;
    FixtureClass none_;
};

}  // namespace qrx::fakewmi
