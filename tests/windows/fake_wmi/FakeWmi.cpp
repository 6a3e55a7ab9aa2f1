// fake_wmi.dll: the WMI scripting interface as far as QRX_PC_INFO.exe uses it, answering from a
// JSON fixture instead of the management instrumentation. Registered as the class of the
// "winmgmts" ProgID (scripts/wine-fake-wmi.sh), it is what CoGetObject(L"winmgmts:") binds:
// the class object parses the display name into a moniker, the moniker binds to the services
// object, ExecQuery gives the object set, its enumerator the objects, Properties_.Item the
// property and its Value the VARIANT.
//
// The objects are written against the C form of the interfaces: every table is filled with a
// stub that answers E_NOTIMPL, then the methods the program calls are put in. (The stub takes no
// arguments; under the x64 calling convention the caller cleans up, so a call with any
// arguments returns E_NOTIMPL safely. This DLL is built for x64 only.)
#define CINTERFACE
#define COBJMACROS
#include <objbase.h>
#include <oleauto.h>
#include <wbemdisp.h>
#include <windows.h>

#include <cstddef>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "tests/windows/fake_wmi/Fixture.h"

namespace {

using qrx::fakewmi::Fixture;
using qrx::fakewmi::FixtureClass;
using qrx::fakewmi::Json;
using qrx::fakewmi::Wide;

static_assert(sizeof(void*) == 8, "the table stubs rely on the x64 calling convention");

// {6C1E3F0A-19AB-4E6B-9F12-0D5A7C3B2E19}: the class scripts/wine-fake-wmi.sh registers.
const CLSID kFakeWmiClsid = {
    0x6c1e3f0a, 0x19ab, 0x4e6b, {0x9f, 0x12, 0x0d, 0x5a, 0x7c, 0x3b, 0x2e, 0x19}};

using Slot = void (*)();

HRESULT STDMETHODCALLTYPE NotImplemented() {
    return E_NOTIMPL;
}

template <typename F, typename G>
void Put(F& slot, G function) {
    slot = reinterpret_cast<F>(function);
}

// Sets the thread's error object as the scripting interface does for a failed call.
void SetError(const wchar_t* source, const std::wstring& description, REFIID iid) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) {
        return;
    }
    ICreateErrorInfo_SetGUID(create, iid);
    ICreateErrorInfo_SetSource(create, const_cast<LPOLESTR>(source));
    ICreateErrorInfo_SetDescription(create, const_cast<LPOLESTR>(description.c_str()));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(ICreateErrorInfo_QueryInterface(create, IID_IErrorInfo,
                                                  reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        IErrorInfo_Release(info);
    }
    ICreateErrorInfo_Release(create);
}

// What every object starts with: its interface's table, the table of ISupportErrorInfo (for
// the objects whose failures carry error information) and the reference count.
struct ComObject {
    const void* vtbl = nullptr;
    const ISupportErrorInfoVtbl* errorVtbl = nullptr;
    LONG refs = 1;
    const IID* iid = nullptr;  // the typed interface
    bool dispatch = true;      // whether it derives from IDispatch
    void (*destroy)(ComObject*) = nullptr;
};

template <typename T>
void Destroy(ComObject* object) {
    delete static_cast<T*>(object);
}

ComObject* FromErrorSupport(ISupportErrorInfo* support) {
    return reinterpret_cast<ComObject*>(reinterpret_cast<char*>(support) -
                                        offsetof(ComObject, errorVtbl));
}

HRESULT STDMETHODCALLTYPE QueryInterfaceOf(ComObject* self, REFIID riid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, *self->iid) ||
        (self->dispatch && IsEqualIID(riid, IID_IDispatch))) {
        *out = self;
    } else if (self->errorVtbl != nullptr && IsEqualIID(riid, IID_ISupportErrorInfo)) {
        *out = &self->errorVtbl;
    } else {
        return E_NOINTERFACE;
    }
    InterlockedIncrement(&self->refs);
    return S_OK;
}

ULONG STDMETHODCALLTYPE AddRefOf(ComObject* self) {
    return static_cast<ULONG>(InterlockedIncrement(&self->refs));
}

ULONG STDMETHODCALLTYPE ReleaseOf(ComObject* self) {
    const LONG refs = InterlockedDecrement(&self->refs);
    if (refs == 0) {
        self->destroy(self);
    }
    return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE GetTypeInfoCountOf(ComObject*, UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

// A table of stubs with IUnknown (and IDispatch's GetTypeInfoCount) in place.
template <typename Vtbl>
Vtbl Table() {
    Vtbl table;
    Slot* slots = reinterpret_cast<Slot*>(&table);
    for (std::size_t i = 0; i < sizeof(Vtbl) / sizeof(Slot); ++i) {
        slots[i] = reinterpret_cast<Slot>(&NotImplemented);
    }
    Put(table.QueryInterface, &QueryInterfaceOf);
    Put(table.AddRef, &AddRefOf);
    Put(table.Release, &ReleaseOf);
    if constexpr (requires { table.GetTypeInfoCount; }) {
        Put(table.GetTypeInfoCount, &GetTypeInfoCountOf);
    }
    return table;
}

HRESULT STDMETHODCALLTYPE ErrorQueryInterface(ISupportErrorInfo* This, REFIID riid, void** out) {
    return QueryInterfaceOf(FromErrorSupport(This), riid, out);
}
ULONG STDMETHODCALLTYPE ErrorAddRef(ISupportErrorInfo* This) {
    return AddRefOf(FromErrorSupport(This));
}
ULONG STDMETHODCALLTYPE ErrorRelease(ISupportErrorInfo* This) {
    return ReleaseOf(FromErrorSupport(This));
}
HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(ISupportErrorInfo* This, REFIID riid) {
    return IsEqualIID(riid, *FromErrorSupport(This)->iid) ? S_OK : S_FALSE;
}
const ISupportErrorInfoVtbl kErrorVtbl = {ErrorQueryInterface, ErrorAddRef, ErrorRelease,
                                          InterfaceSupportsErrorInfo};

// Creates an object of type T (a ComObject with its own fields) with one reference.
template <typename T>
T* Make(const void* vtbl, const IID& iid, bool errors, bool dispatch = true) {
    T* object = new T();
    object->vtbl = vtbl;
    object->errorVtbl = errors ? &kErrorVtbl : nullptr;
    object->iid = &iid;
    object->dispatch = dispatch;
    object->destroy = &Destroy<T>;
    return object;
}

template <typename T, typename Interface>
T* Self(Interface* This) {
    return reinterpret_cast<T*>(This);
}

// --- Values -------------------------------------------------------------------------------

// A fixture value as the scripting interface hands it (the fixture is checked when it is read).
void ToVariant(const Json& value, VARIANT* out) {
    VariantInit(out);
    if (value.is_string()) {
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = SysAllocString(Wide(value.get<std::string>()).c_str());
    } else if (value.is_boolean()) {
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = value.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (value.is_number_integer()) {
        V_VT(out) = VT_I4;
        V_I4(out) = value.get<LONG>();
    } else if (value.is_array()) {
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(value.size()));
        for (LONG i = 0; i < static_cast<LONG>(value.size()); ++i) {
            VARIANT element;
            ToVariant(value[static_cast<std::size_t>(i)], &element);
            SafeArrayPutElement(array, &i, &element);
            VariantClear(&element);
        }
        V_VT(out) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(out) = array;
    } else {
        V_VT(out) = VT_NULL;
    }
}

// --- SWbemProperty ------------------------------------------------------------------------

struct Property : ComObject {
    std::shared_ptr<const Fixture> fixture;
    const Json* value = nullptr;
};

HRESULT STDMETHODCALLTYPE PropertyValue(ISWbemProperty* This, VARIANT* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    ToVariant(*Self<Property>(This)->value, out);
    return S_OK;
}

const ISWbemPropertyVtbl kPropertyVtbl = [] {
    auto table = Table<ISWbemPropertyVtbl>();
    table.get_Value = &PropertyValue;
    return table;
}();

// --- SWbemPropertySet ---------------------------------------------------------------------

struct PropertySet : ComObject {
    std::shared_ptr<const Fixture> fixture;
    const Json* instance = nullptr;
};

HRESULT STDMETHODCALLTYPE PropertySetItem(ISWbemPropertySet* This, BSTR name, LONG,
                                          ISWbemProperty** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    PropertySet* self = Self<PropertySet>(This);
    const Json* value = Fixture::Find(*self->instance, name != nullptr ? name : L"");
    if (value == nullptr) {
        // As Windows reports a name that the class does not have.
        SetError(L"SWbemPropertySet", L"見つかりません。", IID_ISWbemPropertySet);
        return static_cast<HRESULT>(0x80041002);  // WBEM_E_NOT_FOUND
    }
    Property* property = Make<Property>(&kPropertyVtbl, IID_ISWbemProperty, true);
    property->fixture = self->fixture;
    property->value = value;
    *out = reinterpret_cast<ISWbemProperty*>(property);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertySetCount(ISWbemPropertySet* This, LONG* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = static_cast<LONG>(Self<PropertySet>(This)->instance->size());
    return S_OK;
}

const ISWbemPropertySetVtbl kPropertySetVtbl = [] {
    auto table = Table<ISWbemPropertySetVtbl>();
    table.Item = &PropertySetItem;
    table.get_Count = &PropertySetCount;
    return table;
}();

// --- SWbemObject --------------------------------------------------------------------------

struct Object : ComObject {
    std::shared_ptr<const Fixture> fixture;
    const Json* instance = nullptr;
};

HRESULT STDMETHODCALLTYPE ObjectProperties(ISWbemObject* This, ISWbemPropertySet** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    Object* self = Self<Object>(This);
    PropertySet* set = Make<PropertySet>(&kPropertySetVtbl, IID_ISWbemPropertySet, true);
    set->fixture = self->fixture;
    set->instance = self->instance;
    *out = reinterpret_cast<ISWbemPropertySet*>(set);
    return S_OK;
}

const ISWbemObjectVtbl kObjectVtbl = [] {
    auto table = Table<ISWbemObjectVtbl>();
    table.get_Properties_ = &ObjectProperties;
    return table;
}();

// --- The object set's enumerator ----------------------------------------------------------

struct Enumerator : ComObject {
    std::shared_ptr<const Fixture> fixture;
    const FixtureClass* cls = nullptr;
    std::size_t next = 0;
};

HRESULT STDMETHODCALLTYPE EnumeratorNext(IEnumVARIANT* This, ULONG count, VARIANT* items,
                                         ULONG* fetched) {
    Enumerator* self = Self<Enumerator>(This);
    ULONG n = 0;
    while (n < count) {
        // A slow provider: every step takes its time, the last (empty) one too.
        if (self->cls->delayMs > 0) {
            Sleep(self->cls->delayMs);
        }
        if (self->next >= self->cls->instances.size()) {
            break;
        }
        Object* object = Make<Object>(&kObjectVtbl, IID_ISWbemObject, true);
        object->fixture = self->fixture;
        object->instance = self->cls->instances[self->next++];
        VariantInit(&items[n]);
        V_VT(&items[n]) = VT_DISPATCH;
        V_DISPATCH(&items[n]) = reinterpret_cast<IDispatch*>(object);
        ++n;
    }
    if (fetched != nullptr) {
        *fetched = n;
    }
    return n == count ? S_OK : S_FALSE;
}

const IEnumVARIANTVtbl kEnumeratorVtbl = [] {
    auto table = Table<IEnumVARIANTVtbl>();
    table.Next = &EnumeratorNext;
    return table;
}();

// --- SWbemObjectSet -----------------------------------------------------------------------

struct ObjectSet : ComObject {
    std::shared_ptr<const Fixture> fixture;
    const FixtureClass* cls = nullptr;
};

// A class with "_fail" fails where the query's error shows with a semisynchronous query: when
// the result is first used.
HRESULT Failure(const FixtureClass& cls) {
    SetError(L"SWbemObjectSet", cls.failDescription, IID_ISWbemObjectSet);
    return cls.failure;
}

HRESULT STDMETHODCALLTYPE ObjectSetNewEnum(ISWbemObjectSet* This, IUnknown** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    ObjectSet* self = Self<ObjectSet>(This);
    if (FAILED(self->cls->failure)) {
        return Failure(*self->cls);
    }
    Enumerator* enumerator = Make<Enumerator>(&kEnumeratorVtbl, IID_IEnumVARIANT, false, false);
    enumerator->fixture = self->fixture;
    enumerator->cls = self->cls;
    *out = reinterpret_cast<IUnknown*>(enumerator);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ObjectSetCount(ISWbemObjectSet* This, LONG* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    ObjectSet* self = Self<ObjectSet>(This);
    if (FAILED(self->cls->failure)) {
        return Failure(*self->cls);
    }
    *count = static_cast<LONG>(self->cls->instances.size());
    return S_OK;
}

const ISWbemObjectSetVtbl kObjectSetVtbl = [] {
    auto table = Table<ISWbemObjectSetVtbl>();
    table.get__NewEnum = &ObjectSetNewEnum;
    table.get_Count = &ObjectSetCount;
    return table;
}();

// --- SWbemServices ------------------------------------------------------------------------

struct Services : ComObject {
    std::shared_ptr<const Fixture> fixture;
};

// "SELECT * FROM " and a class name, in any case; the class name or empty.
std::wstring ClassOfQuery(const wchar_t* query) {
    static const wchar_t prefix[] = L"SELECT * FROM ";
    const std::size_t n = std::wcslen(prefix);
    if (query == nullptr || _wcsnicmp(query, prefix, n) != 0) {
        return L"";
    }
    std::wstring cls = query + n;
    for (const wchar_t c : cls) {
        if (!(iswalnum(c) || c == L'_')) {
            return L"";
        }
    }
    return cls;
}

HRESULT STDMETHODCALLTYPE ServicesExecQuery(ISWbemServices* This, BSTR query, BSTR, LONG,
                                            IDispatch*, ISWbemObjectSet** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    Services* self = Self<Services>(This);
    const std::wstring cls = ClassOfQuery(query);
    if (cls.empty()) {
        SetError(L"SWbemServices", L"クエリが無効です。", IID_ISWbemServices);
        return static_cast<HRESULT>(0x80041017);  // WBEM_E_INVALID_QUERY
    }
    ObjectSet* set = Make<ObjectSet>(&kObjectSetVtbl, IID_ISWbemObjectSet, true);
    set->fixture = self->fixture;
    set->cls = &self->fixture->Class(cls);
    *out = reinterpret_cast<ISWbemObjectSet*>(set);
    return S_OK;
}

const ISWbemServicesVtbl kServicesVtbl = [] {
    auto table = Table<ISWbemServicesVtbl>();
    table.ExecQuery = &ServicesExecQuery;
    return table;
}();

// --- The moniker and the class object -----------------------------------------------------

struct Moniker : ComObject {};

// Binding reads the fixture afresh, so that a test can switch fixtures between two binds.
HRESULT STDMETHODCALLTYPE MonikerBindToObject(IMoniker*, IBindCtx*, IMoniker*, REFIID riid,
                                              void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    std::wstring problem;
    std::shared_ptr<const Fixture> fixture = Fixture::Load(&problem);
    if (fixture == nullptr) {
        OutputDebugStringW((L"fake_wmi: " + problem + L"\n").c_str());
        SetError(L"fake_wmi", problem, IID_IMoniker);
        return static_cast<HRESULT>(0x80041001);  // WBEM_E_FAILED
    }
    Services* services = Make<Services>(&kServicesVtbl, IID_ISWbemServices, true);
    services->fixture = std::move(fixture);
    const HRESULT hr = QueryInterfaceOf(services, riid, out);
    ReleaseOf(services);
    return hr;
}

const IMonikerVtbl kMonikerVtbl = [] {
    auto table = Table<IMonikerVtbl>();
    table.BindToObject = &MonikerBindToObject;
    return table;
}();

// The class object: IClassFactory, and IParseDisplayName for the display name "winmgmts:...".
// It lives as long as the DLL.
struct ClassObject {
    const IClassFactoryVtbl* factory;
    const IParseDisplayNameVtbl* parser;
};
extern ClassObject gClassObject;

HRESULT ClassObjectQuery(REFIID riid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *out = &gClassObject.factory;
    } else if (IsEqualIID(riid, IID_IParseDisplayName)) {
        *out = &gClassObject.parser;
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FactoryQueryInterface(IClassFactory*, REFIID riid, void** out) {
    return ClassObjectQuery(riid, out);
}
HRESULT STDMETHODCALLTYPE ParserQueryInterface(IParseDisplayName*, REFIID riid, void** out) {
    return ClassObjectQuery(riid, out);
}
ULONG STDMETHODCALLTYPE StaticRef(void*) {
    return 1;
}
HRESULT STDMETHODCALLTYPE FactoryCreateInstance(IClassFactory*, IUnknown* outer, REFIID riid,
                                                void** out) {
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return ClassObjectQuery(riid, out);
}
HRESULT STDMETHODCALLTYPE FactoryLockServer(IClassFactory*, BOOL) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ParseDisplayName(IParseDisplayName*, IBindCtx*, LPOLESTR name,
                                           ULONG* eaten, IMoniker** out) {
    if (eaten == nullptr || out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    *eaten = 0;
    if (name == nullptr || _wcsnicmp(name, L"winmgmts:", 9) != 0) {
        return MK_E_SYNTAX;
    }
    // The whole name: the namespace and security settings after the colon are not looked at.
    *eaten = static_cast<ULONG>(std::wcslen(name));
    *out = reinterpret_cast<IMoniker*>(Make<Moniker>(&kMonikerVtbl, IID_IMoniker, false, false));
    return S_OK;
}

const IClassFactoryVtbl kFactoryVtbl = [] {
    IClassFactoryVtbl table{};
    table.QueryInterface = &FactoryQueryInterface;
    Put(table.AddRef, &StaticRef);
    Put(table.Release, &StaticRef);
    table.CreateInstance = &FactoryCreateInstance;
    table.LockServer = &FactoryLockServer;
    return table;
}();

const IParseDisplayNameVtbl kParserVtbl = [] {
    IParseDisplayNameVtbl table{};
    table.QueryInterface = &ParserQueryInterface;
    Put(table.AddRef, &StaticRef);
    Put(table.Release, &StaticRef);
    table.ParseDisplayName = &ParseDisplayName;
    return table;
}();

ClassObject gClassObject = {&kFactoryVtbl, &kParserVtbl};

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kFakeWmiClsid)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return ClassObjectQuery(riid, out);
}

// The objects share the fixture they were made from; the DLL stays loaded.
extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return S_FALSE;
}
