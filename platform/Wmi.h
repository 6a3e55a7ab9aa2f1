#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qrx {

// VARIANT type codes as the management instrumentation hands them.
namespace vt {
enum : int {
    EMPTY = 0,
    NULL_ = 1,
    I4 = 3,
    BSTR = 8,
    BOOL = 11,
    ARRAY_VARIANT = 0x2000 | 12,  // 8204
    ARRAY_BSTR = 0x2000 | 8,      // 8200
};
}  // namespace vt

// A small VARIANT: a type code and the value that goes with it.
struct Variant {
    int type = vt::EMPTY;
    std::string text;               // BSTR
    bool boolean = false;           // BOOL
    std::int64_t integer = 0;       // integer codes
    std::vector<Variant> elements;  // arrays

    static Variant Null() { return Of(vt::NULL_); }
    static Variant Text(std::string s) {
        Variant v = Of(vt::BSTR);
        v.text = std::move(s);
        return v;
    }
    static Variant Bool(bool b) {
        Variant v = Of(vt::BOOL);
        v.boolean = b;
        return v;
    }
    static Variant Int(std::int64_t i) {
        Variant v = Of(vt::I4);
        v.integer = i;
        return v;
    }
    static Variant Array(std::vector<Variant> e) {
        Variant v = Of(vt::ARRAY_VARIANT);
        v.elements = std::move(e);
        return v;
    }
    static Variant Of(int type) {
        Variant v;
        v.type = type;
        return v;
    }
};

// The platform's standard conversion of a VARIANT to text: text as it is, booleans as
// "True"/"False", integers in decimal, null and empty as the empty text.
std::string VariantToText(const Variant& v);

// WMI errors.
constexpr std::uint32_t WBEM_E_NOT_FOUND = 0x80041002;
constexpr std::uint32_t WBEM_E_INVALID_CLASS = 0x80041010;
constexpr std::uint32_t WBEM_E_INVALID_QUERY = 0x80041017;

// One instance of a class. Failures are thrown as AppError.
class IWmiObject {
  public:
    virtual ~IWmiObject() = default;
    // The value of a property; throws AppError (WBEM_E_NOT_FOUND) for a name the class lacks.
    virtual Variant Property(const std::string& name) = 0;
};

class IWmiObjectSet {
  public:
    virtual ~IWmiObjectSet() = default;
    // The next instance, or null at the end. An unknown class fails at the first call.
    virtual std::unique_ptr<IWmiObject> Next() = 0;
};

class IWmiServices {
  public:
    virtual ~IWmiServices() = default;
    virtual std::unique_ptr<IWmiObjectSet> ExecQuery(const std::string& query) = 0;
};

class IWmiProvider {
  public:
    virtual ~IWmiProvider() = default;
    // Binds a moniker such as "winmgmts:".
    virtual std::unique_ptr<IWmiServices> Bind(const std::string& moniker) = 0;
};

}  // namespace qrx
