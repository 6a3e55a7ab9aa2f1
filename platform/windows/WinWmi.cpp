#include "platform/windows/WinWmi.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemdisp.h>
#include <windows.h>

#include <cstdio>
#include <utility>

#include "platform/AppError.h"
#include "platform/RecordLimits.h"
#include "platform/Utf8.h"
#include "platform/windows/WinText.h"

namespace qrx {

namespace {

// Owns one reference of a COM interface.
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    T** Out() {
        Reset();
        return &p_;
    }
    void Reset() {
        if (p_ != nullptr) {
            p_->Release();
            p_ = nullptr;
        }
    }

  private:
    T* p_ = nullptr;
};

class Bstr {
  public:
    explicit Bstr(const std::string& text) : b_(SysAllocString(Widen(text).c_str())) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return b_; }

  private:
    BSTR b_;
};

class ComVariant {
  public:
    ComVariant() { VariantInit(&v_); }
    ~ComVariant() { VariantClear(&v_); }
    ComVariant(const ComVariant&) = delete;
    ComVariant& operator=(const ComVariant&) = delete;
    VARIANT* Get() { return &v_; }

  private:
    VARIANT v_;
};

// Throws a failed HRESULT. Its texts come from the error object of this very call: one is read
// only when `object` says through ISupportErrorInfo that its interface `iid` sets one, so an
// error object that an earlier call left behind never names this failure.
void Check(HRESULT hr, const char* source, IUnknown* object = nullptr, const IID* iid = nullptr) {
    if (SUCCEEDED(hr)) {
        return;
    }
    std::string src = source;
    std::string description;
    // Taking the thread's error object also clears it.
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) {
        info = nullptr;
    }
    bool own = false;
    if (info != nullptr && object != nullptr && iid != nullptr) {
        ISupportErrorInfo* support = nullptr;
        if (SUCCEEDED(object->QueryInterface(IID_ISupportErrorInfo,
                                             reinterpret_cast<void**>(&support))) &&
            support != nullptr) {
            own = support->InterfaceSupportsErrorInfo(*iid) == S_OK;
            support->Release();
        }
    }
    if (own) {
        BSTR text = nullptr;
        if (SUCCEEDED(info->GetSource(&text)) && text != nullptr) {
            src = Narrow(text);
            SysFreeString(text);
        }
        text = nullptr;
        if (SUCCEEDED(info->GetDescription(&text)) && text != nullptr) {
            description = Narrow(text);
            SysFreeString(text);
        }
    }
    if (info != nullptr) {
        info->Release();
    }
    if (description.empty()) {
        switch (static_cast<std::uint32_t>(hr)) {
            case WBEM_E_NOT_FOUND:
                description = "見つかりません。";
                break;
            case WBEM_E_INVALID_CLASS:
                description = "クラスが無効です。";
                break;
            case WBEM_E_INVALID_QUERY:
                description = "クエリが無効です。";
                break;
            default:
                break;
        }
    }
    if (description.empty()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "HRESULT 0x%08lX", static_cast<unsigned long>(hr));
        description = buf;
    }
    throw AppError(static_cast<std::int32_t>(hr), src, description);
}

Variant FromVariant(const VARIANT& v);

// Arrays of any element type reach the core as arrays of VARIANTs, as a script sees them.
Variant FromArray(const VARIANT& v) {
    SAFEARRAY* array = V_ARRAY(&v);
    Variant out = Variant::Array({});
    if (array == nullptr || SafeArrayGetDim(array) != 1) {
        return out;
    }
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    const VARTYPE element = static_cast<VARTYPE>(V_VT(&v) & VT_TYPEMASK);
    for (LONG i = lower; i <= upper; ++i) {
        ComVariant item;
        if (element == VT_VARIANT) {
            SafeArrayGetElement(array, &i, item.Get());
        } else {
            // The element lands in the VARIANT's value storage, which the type then names.
            if (SUCCEEDED(SafeArrayGetElement(array, &i, static_cast<void*>(&V_I8(item.Get()))))) {
                V_VT(item.Get()) = element;
            }
        }
        out.elements.push_back(FromVariant(*item.Get()));
    }
    return out;
}

Variant FromVariant(const VARIANT& v) {
    const VARTYPE type = V_VT(&v);
    if ((type & VT_ARRAY) != 0) {
        return FromArray(v);
    }
    switch (type) {
        case VT_BSTR:
            // Cut as on Linux, so that the desk's decoder reads every line the program writes.
            return Variant::Text(V_BSTR(&v) != nullptr
                                     ? CutUtf8(Narrow(V_BSTR(&v)), kMaxStandInValueBytes)
                                     : std::string());
        case VT_BOOL:
            return Variant::Bool(V_BOOL(&v) != VARIANT_FALSE);
        case VT_NULL:
            return Variant::Null();
        case VT_EMPTY:
            return Variant::Of(vt::EMPTY);
        default: {
            Variant out = Variant::Of(type);
            VARIANT copy;
            VariantInit(&copy);
            if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&v), 0, VT_I8))) {
                out.integer = V_I8(&copy);
            }
            VariantClear(&copy);
            return out;
        }
    }
}

class Object : public IWmiObject {
  public:
    explicit Object(ComPtr<ISWbemObject> object) : object_(std::move(object)) {}

    Variant Property(const std::string& name) override {
        ComPtr<ISWbemPropertySet> properties;
        Check(object_->get_Properties_(properties.Out()), "SWbemObject", object_.Get(),
              &IID_ISWbemObject);
        ComPtr<ISWbemProperty> property;
        Bstr bname(name);
        Check(properties->Item(bname.Get(), 0, property.Out()), "SWbemPropertySet",
              properties.Get(), &IID_ISWbemPropertySet);
        ComVariant value;
        Check(property->get_Value(value.Get()), "SWbemProperty", property.Get(),
              &IID_ISWbemProperty);
        return FromVariant(*value.Get());
    }

  private:
    ComPtr<ISWbemObject> object_;
};

class ObjectSet : public IWmiObjectSet {
  public:
    explicit ObjectSet(ComPtr<ISWbemObjectSet> set) : set_(std::move(set)) {}

    std::unique_ptr<IWmiObject> Next() override {
        if (enumerator_.Get() == nullptr) {
            ComPtr<IUnknown> unknown;
            Check(set_->get__NewEnum(unknown.Out()), "SWbemObjectSet", set_.Get(),
                  &IID_ISWbemObjectSet);
            Check(unknown->QueryInterface(IID_IEnumVARIANT,
                                          reinterpret_cast<void**>(enumerator_.Out())),
                  "SWbemObjectSet");
        }
        ComVariant item;
        ULONG fetched = 0;
        const HRESULT hr = enumerator_->Next(1, item.Get(), &fetched);
        Check(hr, "SWbemObjectSet", enumerator_.Get(), &IID_IEnumVARIANT);
        if (hr == S_FALSE || fetched == 0) {
            return nullptr;
        }
        if (V_VT(item.Get()) != VT_DISPATCH || V_DISPATCH(item.Get()) == nullptr) {
            Check(E_UNEXPECTED, "SWbemObjectSet");
        }
        ComPtr<ISWbemObject> object;
        Check(V_DISPATCH(item.Get())
                  ->QueryInterface(IID_ISWbemObject, reinterpret_cast<void**>(object.Out())),
              "SWbemObjectSet");
        return std::make_unique<Object>(std::move(object));
    }

  private:
    ComPtr<ISWbemObjectSet> set_;
    ComPtr<IEnumVARIANT> enumerator_;
};

class Services : public IWmiServices {
  public:
    explicit Services(ComPtr<ISWbemServices> services) : services_(std::move(services)) {}

    std::unique_ptr<IWmiObjectSet> ExecQuery(const std::string& query) override {
        // Language and flags as a script leaves them: "WQL", return immediately.
        Bstr text(query);
        Bstr language("WQL");
        ComPtr<ISWbemObjectSet> set;
        Check(services_->ExecQuery(text.Get(), language.Get(), wbemFlagReturnImmediately, nullptr,
                                   set.Out()),
              "SWbemServices", services_.Get(), &IID_ISWbemServices);
        return std::make_unique<ObjectSet>(std::move(set));
    }

  private:
    ComPtr<ISWbemServices> services_;
};

}  // namespace

std::unique_ptr<IWmiServices> WinWmi::Bind(const std::string& moniker) {
    ComPtr<ISWbemServices> services;
    Check(CoGetObject(Widen(moniker).c_str(), nullptr, IID_ISWbemServices,
                      reinterpret_cast<void**>(services.Out())),
          "GetObject");
    return std::make_unique<Services>(std::move(services));
}

}  // namespace qrx
