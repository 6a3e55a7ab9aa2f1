// The real QRX_PC_INFO.exe finishing whole collections under Wine, against fake_wmi.dll: a WMI
// scripting interface that answers from the fixtures in wmi-fixtures/ as a real Windows PC
// would. These tests run in a prefix of their own that scripts/wine-fake-wmi.sh prepared with
// the laptop's fixture; a test that wants another fixture names it for the program's process
// (QRX_FAKE_WMI_FIXTURE). The data files are decrypted here with CryptoAPI itself, and the
// expected records and trace lines are made here from the fixtures by the collection plan.
#include <gtest/gtest.h>
#include <objbase.h>
#include <wbemdisp.h>
#include <wincrypt.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "collect/CollectionPlan.h"
#include "platform/AppError.h"
#include "platform/windows/WinWmi.h"
#include "tests/windows/ProgramHarness.h"

namespace qrx::test {
namespace {

using Json = nlohmann::json;

fs::path FixtureFile(const std::string& name) {
    return fs::path(QRX_WMI_FIXTURES) / name;
}

Json ReadFixture(const std::string& name) {
    std::ifstream in(FixtureFile(name), std::ios::binary);
    return Json::parse(in);
}

// Names the fixture that the fake serves to processes started while it lives; without one
// the fake serves what the prefix was prepared with.
class UseFixture {
  public:
    explicit UseFixture(const std::string& name) {
        SetEnvironmentVariableW(L"QRX_FAKE_WMI_FIXTURE", FixtureFile(name).wstring().c_str());
    }
    ~UseFixture() { SetEnvironmentVariableW(L"QRX_FAKE_WMI_FIXTURE", nullptr); }
    UseFixture(const UseFixture&) = delete;
    UseFixture& operator=(const UseFixture&) = delete;
};

// --- What the program must make of a fixture ----------------------------------------------

// A record as the data file holds it: each character that code page 932 lacks is one "?".
std::string RecordThroughCp932(const std::string& utf8) {
    const std::wstring wide = Widen(utf8);
    std::string bytes;
    for (std::size_t i = 0; i < wide.size();) {
        const int n = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() ? 2 : 1;
        char buf[8];
        BOOL lacking = FALSE;
        const int m = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data() + i, n, buf,
                                          sizeof buf, "?", &lacking);
        bytes +=
            (m <= 0 || lacking) ? std::string("?") : std::string(buf, static_cast<std::size_t>(m));
        i += static_cast<std::size_t>(n);
    }
    return FromAnsi(bytes);
}

// A trace line as the log holds it: the system's conversion to its code page.
std::string TraceThroughCp932(const std::string& utf8) {
    const std::wstring wide = Widen(utf8);
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n,
                        nullptr, nullptr);
    return FromAnsi(bytes);
}

struct Output {
    std::vector<std::string> records;
    std::vector<std::string> trace;  // GetInfo's trace lines
};

// Records and trace lines of the steps, by the type the plan gives each property: text recorded
// and traced, a boolean traced, an array one record per element (a null element as empty text),
// an integer or a null nothing. A fixture value of another type than the plan's throws.
Output Expected(const Json& fixture, const std::vector<CollectionStep>& steps) {
    Output out;
    for (const auto& step : steps) {
        const PlannedClass& planned = *FindPlannedClass(step.className);
        out.records.push_back(std::string(10, '-') + step.className + std::string(10, '-'));
        out.trace.push_back(StartLine(step.className));
        Json instances = fixture.value(step.className, Json::array());
        if (instances.is_object()) {
            instances = instances.value("instances", Json::array());
        }
        for (const auto& instance : instances) {
            for (const auto& name : step.properties) {
                const Json& value = instance.at(name);
                const WmiType type = planned.Find(name)->type;
                const auto add = [&](const std::string& text) {
                    if (type != WmiType::Boolean) {
                        out.records.push_back(RecordThroughCp932(name + "\t" + text));
                    }
                    out.trace.push_back(TraceThroughCp932("GetInfo() " + name + "\t" + text));
                };
                if (value.is_null() || type == WmiType::Integer) {
                    continue;
                } else if (type == WmiType::Text) {
                    add(value.get<std::string>());
                } else if (type == WmiType::Boolean) {
                    add(value.get<bool>() ? "True" : "False");
                } else {
                    for (const auto& element : value.get<std::vector<Json>>()) {
                        add(element.is_null() ? "" : element.get<std::string>());
                    }
                }
            }
        }
        out.trace.push_back(EndLine(step.className));
    }
    return out;
}

// --- The data file, read without the program's own code -----------------------------------

// The key and the IV the data files are encrypted with (AES-128-CBC, PKCS#7 padding).
constexpr char kKey[] = "Ot5!iNx#0kVa$7Jr";
constexpr char kIv[] = "p2\"Fu6(Lc1)Rw4>@";

std::string DecryptLine(const std::string& line) {
    DWORD size = 0;
    if (!CryptStringToBinaryA(line.c_str(), static_cast<DWORD>(line.size()), CRYPT_STRING_BASE64,
                              nullptr, &size, nullptr, nullptr)) {
        return "(not Base64: " + line + ")";
    }
    std::string data(size, '\0');
    CryptStringToBinaryA(line.c_str(), static_cast<DWORD>(line.size()), CRYPT_STRING_BASE64,
                         reinterpret_cast<BYTE*>(data.data()), &size, nullptr, nullptr);
    struct {
        BLOBHEADER header;
        DWORD size;
        BYTE key[16];
    } blob{{PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, CALG_AES_128}, 16, {}};
    std::memcpy(blob.key, kKey, 16);
    HCRYPTPROV provider = 0;
    HCRYPTKEY key = 0;
    std::string result = "(does not decrypt: " + line + ")";
    if (CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        if (CryptImportKey(provider, reinterpret_cast<const BYTE*>(&blob), sizeof blob, 0, 0,
                           &key)) {
            DWORD length = size;
            if (CryptSetKeyParam(key, KP_IV, reinterpret_cast<const BYTE*>(kIv), 0) &&
                CryptDecrypt(key, 0, TRUE, 0, reinterpret_cast<BYTE*>(data.data()), &length)) {
                result = FromAnsi(data.substr(0, length));
            }
            CryptDestroyKey(key);
        }
        CryptReleaseContext(provider, 0);
    }
    return result;
}

std::vector<std::string> DecryptFile(const fs::path& file) {
    std::vector<std::string> records;
    for (const auto& line : LinesOf(file)) {
        records.push_back(DecryptLine(line));
    }
    return records;
}

// --- Driving the program ------------------------------------------------------------------

std::string Completion(const App& app, const fs::path& dataFile) {
    return "処理を終了しました。\r\n作成された以下のファイルを弊社サポートまでお送りください。\r\n"
           "[" +
           Narrow((app.Folder() / dataFile.filename()).wstring()) + "]";
}

// Posts the click of cmdRun and confirms; the next message box, once its text is there.
HWND RunAndWaitForTheNextBox(App& app, std::string* text) {
    app.Post(ButtonId::cmdRun);
    HWND box = app.WaitBox();
    EXPECT_NE(box, nullptr) << "no confirmation";
    if (box == nullptr) {
        return nullptr;
    }
    App::Answer(box, IDOK);
    const std::string confirmation = "処理を開始します。よろしいですか？";
    HWND next = nullptr;
    WaitFor(
        [&] {
            next = app.Box();
            *text = next != nullptr ? App::BoxText(next) : "";
            return next != box && !text->empty() && *text != confirmation;
        },
        60000);
    return next;
}

// A whole run to its end: the completion names the one data file, which `file` receives; the
// message is answered and the window closed, and the program ends with 0.
void RunToTheEnd(App& app, fs::path& file) {
    std::string text;
    HWND box = RunAndWaitForTheNextBox(app, &text);
    ASSERT_NE(box, nullptr);
    const auto files = app.DataFiles();
    ASSERT_EQ(files.size(), 1u);
    file = files[0];
    EXPECT_EQ(text, Completion(app, file));
    App::Answer(box, IDOK);
    ASSERT_TRUE(WaitFor([&] { return app.Box() == nullptr; }));
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitExit(), 0);
}

// The trace of a debug run whose commands traced `middle`: the opening lines, `middle`, the
// closing line.
std::vector<std::string> WholeTrace(const std::vector<std::string>& middle) {
    std::vector<std::string> trace = {
        "", "Form_Load() ----------PC Infomation Get Program Start----------"};
    trace.insert(trace.end(), middle.begin(), middle.end());
    trace.push_back(kClosingLine);
    return trace;
}

// The scripting interface as the program's own client sees the fake: values with their type
// codes, a property the class lacks, a failing query, a class the fixture lacks.
TEST(FakeWmi, AnswersAsTheScriptingInterface) {
    UseFixture fixture("fault-query-fails.json");
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        WinWmi wmi;
        auto services = wmi.Bind("winmgmts:");
        auto adapters = services->ExecQuery("select * from win32_networkadapterconfiguration");
        auto adapter = adapters->Next();
        ASSERT_NE(adapter, nullptr);
        const struct {
            const char* property;
            int type;
        } values[] = {{"Caption", vt::BSTR},
                      {"IPAddress", vt::NULL_},
                      {"Index", vt::I4},
                      {"IPEnabled", vt::BOOL},
                      {"MACAddress", vt::NULL_}};
        for (const auto& v : values) {
            EXPECT_EQ(adapter->Property(v.property).type, v.type) << v.property;
        }
        adapter = adapters->Next();
        ASSERT_NE(adapter, nullptr);
        const Variant addresses = adapter->Property("ipaddress");
        ASSERT_EQ(addresses.type, vt::ARRAY_VARIANT);
        ASSERT_EQ(addresses.elements.size(), 3u);
        EXPECT_EQ(addresses.elements[1].text, "fe80::8d4c:1b2a:93e1:7f20");
        try {
            adapter->Property("AdapterType");
            ADD_FAILURE() << "a property the class lacks";
        } catch (const AppError& e) {
            EXPECT_EQ(static_cast<std::uint32_t>(e.Number), WBEM_E_NOT_FOUND);
            EXPECT_EQ(e.Source, "SWbemPropertySet");
            EXPECT_EQ(e.Description, "見つかりません。");
        }
        EXPECT_EQ(adapters->Next(), nullptr);
        auto failing = services->ExecQuery("SELECT * FROM Win32_NetworkAdapter");
        try {
            failing->Next();
            ADD_FAILURE() << "a failing query";
        } catch (const AppError& e) {
            EXPECT_EQ(static_cast<std::uint32_t>(e.Number), 0x80041003u);
            EXPECT_EQ(e.Source, "SWbemObjectSet");
            EXPECT_EQ(e.Description, "アクセスが拒否されました。");
        }
        EXPECT_EQ(services->ExecQuery("SELECT * FROM Win32_BaseBoard")->Next(), nullptr);
    }
    {
        // The program's client takes arrays of any element type; a script gets VARIANTs.
        ISWbemServices* services = nullptr;
        ASSERT_EQ(CoGetObject(L"winmgmts:", nullptr, IID_ISWbemServices,
                              reinterpret_cast<void**>(&services)),
                  S_OK);
        BSTR query = SysAllocString(L"SELECT * FROM Win32_NetworkAdapterConfiguration");
        ISWbemObjectSet* set = nullptr;
        EXPECT_EQ(services->ExecQuery(query, nullptr, 0, nullptr, &set), S_OK);
        LONG count = 0;
        EXPECT_EQ(set->get_Count(&count), S_OK);
        EXPECT_EQ(count, 2);
        IUnknown* unknown = nullptr;
        IEnumVARIANT* items = nullptr;
        set->get__NewEnum(&unknown);
        unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items));
        VARIANT item;
        VariantInit(&item);
        // The stand-in does only what the program calls.
        EXPECT_EQ(items->Skip(1), E_NOTIMPL);
        items->Next(1, &item, nullptr);
        VariantClear(&item);
        items->Next(1, &item, nullptr);
        ISWbemObject* object = nullptr;
        V_DISPATCH(&item)->QueryInterface(IID_ISWbemObject, reinterpret_cast<void**>(&object));
        ISWbemPropertySet* properties = nullptr;
        object->get_Properties_(&properties);
        BSTR name = SysAllocString(L"IPAddress");
        ISWbemProperty* property = nullptr;
        properties->Item(name, 0, &property);
        VARIANT value;
        VariantInit(&value);
        property->get_Value(&value);
        EXPECT_EQ(V_VT(&value), VT_ARRAY | VT_VARIANT);
        VariantClear(&value);
        for (IUnknown* p : std::initializer_list<IUnknown*>{property, properties, object, items,
                                                            unknown, set, services}) {
            p->Release();
        }
        VariantClear(&item);
        SysFreeString(name);
        SysFreeString(query);
    }
    CoUninitialize();
}

// Whole runs: the data file holds exactly the records of the plan over the fixture, the trace
// log the lines, the completion message names the file, and both decoders read the file alike.
TEST(FakeWmiProgram, WholeRuns) {
    const struct {
        const char* fixture;  // nullptr: what the prefix was prepared with (the laptop)
        const char* json;
        bool debug;
    } cases[] = {
        {nullptr, "laptop-windows11-ja.json", true},
        {"desktop-no-network.json", "desktop-no-network.json", false},
        // Code page 932 has no emoji: the record holds what the conversion makes of it.
        {"emoji-adapter-name.json", "emoji-adapter-name.json", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        std::unique_ptr<UseFixture> use;
        if (c.fixture != nullptr) {
            use = std::make_unique<UseFixture>(c.fixture);
        }
        const std::string stem = fs::path(c.json).stem().string();
        for (const char* extension : {".dat", ".json"}) {
            fs::remove(BuildFolder() / ("fake-wmi-" + stem + extension));
        }
        const Output expected = Expected(ReadFixture(c.json), RunSteps());
        App app;
        app.Start(c.debug ? L"DEBUG" : L"", true);
        fs::path file;
        ASSERT_NO_FATAL_FAILURE(RunToTheEnd(app, file));

        EXPECT_EQ(DecryptFile(file), expected.records);
        if (c.debug) {
            EXPECT_EQ(app.LogMessages(), WholeTrace(expected.trace));
        } else {
            EXPECT_FALSE(app.HasLog());
        }

        const std::string windows =
            CaptureFrom(BuildFolder() / L"QRX_PC_INFO_DECODE.exe", L"--json -", file);
        const Json decoded = Json::parse(windows, nullptr, false);
        ASSERT_TRUE(decoded.is_object()) << windows;
        EXPECT_EQ(decoded["classes"].size(), RunSteps().size());
        // The Linux decoder reads the same file outside Wine (fake_wmi_decoders_agree).
        fs::copy_file(file, BuildFolder() / ("fake-wmi-" + stem + ".dat"),
                      fs::copy_options::overwrite_existing);
        std::ofstream(BuildFolder() / ("fake-wmi-" + stem + ".json"), std::ios::binary) << windows;
    }
}

// A value far beyond the decoder's line limit is cut as on Linux, at a character's start; a line
// break inside a value stays in its record and forges no trace line.
TEST(FakeWmiProgram, LongValuesAreCutAndLineBreaksForgeNoTraceLine) {
    Json os = Json::object();
    for (const auto& name : RunSteps()[3].properties) {
        os[name] = "x";
    }
    std::string caption, cut;
    for (int i = 0; i < 1000000; ++i) {
        caption += "あ";
        cut += i < 4096 / 3 ? "あ" : "";
    }
    const std::string host = "HOST\r\nFAKE LINE 12:00:00 QRX_PC_INFO[1] GetInfo() forged";
    os["Caption"] = caption;
    os["CSName"] = host;
    const fs::path fixture = BuildFolder() / "hostile-values.json";
    std::ofstream(fixture, std::ios::binary) << Json{{"Win32_OperatingSystem", {os}}}.dump();
    UseFixture use(fixture.string());
    App app;
    app.Start(L"DEBUG", true);
    fs::path file;
    ASSERT_NO_FATAL_FAILURE(RunToTheEnd(app, file));
    const auto records = DecryptFile(file);
    EXPECT_EQ(std::count(records.begin(), records.end(), "Caption\t" + cut), 1);
    EXPECT_EQ(std::count(records.begin(), records.end(), "CSName\t" + host), 1);
    EXPECT_TRUE(
        app.Logged("GetInfo() CSName\tHOST\\x0d\\x0aFAKE LINE 12:00:00 "
                   "QRX_PC_INFO[1] GetInfo() forged"));
}

// Each category command on the laptop, before any run: its own class and list, into the file
// of the zero date.
TEST(FakeWmiProgram, CategoryCommands) {
    const Json laptop = ReadFixture("laptop-windows11-ja.json");
    const struct {
        ButtonId button;
        const char* className;
    } commands[] = {
        {ButtonId::cmdNIC, "Win32_NetworkAdapterConfiguration"},
        {ButtonId::cmdCPU, "Win32_Processor"},
        {ButtonId::cmdOS, "Win32_OperatingSystem"},
        {ButtonId::cmdMB, "Win32_BaseBoard"},
        {ButtonId::cmdUUID, "Win32_ComputerSystemProduct"},
    };
    App app;
    app.Start(L"DEBUG", true);
    Output expected;
    for (const auto& c : commands) {
        SCOPED_TRACE(c.className);
        ASSERT_TRUE(app.Command(c.button, c.className));
        const Output one = Expected(laptop, {CategoryStepOf(c.className)});
        expected.records.insert(expected.records.end(), one.records.begin(), one.records.end());
        expected.trace.insert(expected.trace.end(), one.trace.begin(), one.trace.end());
    }
    EXPECT_EQ(app.Box(), nullptr);
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitExit(), 0);
    const auto files = app.DataFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename(), "PC_INFO_991230000000.dat");
    EXPECT_EQ(DecryptFile(files[0]), expected.records);
    EXPECT_EQ(app.LogMessages(), WholeTrace(expected.trace));
}

// A class whose query fails and a property the class lacks: the error box names the number,
// the source and the description; the run ends there, what came before stays in the file, and
// the buttons are enabled again without a completion message.
TEST(FakeWmiProgram, FailuresEndTheRunWithTheErrorBox) {
    const struct {
        const char* fixture;
        std::size_t classesDone;  // classes of the plan finished before the failing one
        std::vector<std::string> message;
    } cases[] = {
        {"fault-query-fails.json",
         1,
         {"エラー番号: -2147217405 (&H80041003)", "ソース: SWbemObjectSet",
          "説明: アクセスが拒否されました。"}},
        {"fault-missing-caption.json",
         0,
         {"エラー番号: -2147217406 (&H80041002)", "ソース: SWbemPropertySet",
          "説明: 見つかりません。"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        UseFixture use(c.fixture);
        App app;
        app.Start(L"DEBUG", true);
        std::string text;
        HWND box = RunAndWaitForTheNextBox(app, &text);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(text.rfind("情報の収集中にエラーが発生したため、処理を中断しました。", 0), 0u)
            << text;
        for (const auto& line : c.message) {
            EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
        }
        App::Answer(box, IDOK);
        ASSERT_TRUE(WaitFor([&] { return app.Box() == nullptr; }));
        for (const auto id : {ButtonId::cmdRun, ButtonId::cmdEnd, ButtonId::cmdNIC}) {
            EXPECT_TRUE(IsWindowEnabled(app.Button(id)));
        }
        PostMessageW(app.Window(), WM_CLOSE, 0, 0);
        EXPECT_EQ(app.WaitExit(), 0);

        // The classes before the failing one whole, then the failing one's header and start.
        const std::vector<CollectionStep> done(
            RunSteps().begin(), RunSteps().begin() + static_cast<long>(c.classesDone));
        Output expected = Expected(ReadFixture(c.fixture), done);
        const std::string failing = RunSteps()[c.classesDone].className;
        expected.records.push_back(std::string(10, '-') + failing + std::string(10, '-'));
        expected.trace.push_back(StartLine(failing));
        const auto files = app.DataFiles();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(DecryptFile(files[0]), expected.records);
        EXPECT_EQ(app.LogMessages(), WholeTrace(expected.trace));
    }
}

// A slow provider: while the processors are enumerated a click lands on the disabled run button
// and a close is asked for. The run finishes every class and reports; then the close is
// carried out with its closing line, and the click has started nothing.
TEST(FakeWmiProgram, ClickAndCloseDuringASlowClassWaitForTheRun) {
    UseFixture use("slow-processor.json");
    const Output expected = Expected(ReadFixture("slow-processor.json"), RunSteps());
    App app;
    app.Start(L"DEBUG", true);
    app.Post(ButtonId::cmdRun);
    HWND box = app.WaitBox();
    ASSERT_NE(box, nullptr);
    App::Answer(box, IDOK);
    ASSERT_TRUE(WaitFor([&] { return app.Logged(StartLine("Win32_Processor")); }, 30000, 5));
    HWND run = app.Button(ButtonId::cmdRun);
    EXPECT_FALSE(IsWindowEnabled(run));
    ClickAt(run);
    PostMessageW(app.Window(), WM_CLOSE, 0, 0);
    // The processors take 1.5 s (three steps of 500 ms); nothing is over before them.
    EXPECT_FALSE(app.Logged(EndLine("Win32_Processor")));
    std::string text;
    HWND completion = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] {
            completion = app.Box();
            text = completion != nullptr ? App::BoxText(completion) : "";
            return !text.empty();
        },
        30000));
    const auto files = app.DataFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(text, Completion(app, files[0]));
    EXPECT_TRUE(app.Running());
    App::Answer(completion, IDOK);
    EXPECT_EQ(app.WaitExit(), 0);
    EXPECT_EQ(DecryptFile(files[0]), expected.records);
    EXPECT_EQ(app.LogMessages(), WholeTrace(expected.trace));
}

}  // namespace
}  // namespace qrx::test
