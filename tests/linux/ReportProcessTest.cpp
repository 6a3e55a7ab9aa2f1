// The decoder's reports as a support desk runs them: the real binary on data files encrypted
// with the real cipher, and the HTML page rendered by headless Chromium.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/DecoderFolder.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

// A collection as a Japanese Windows 11 PC writes it: adapters without any address (the kernel
// debug adapter, WAN miniports), WAN miniports with only a MAC, two adapters of one model
// without a MAC, a Bluetooth adapter, and the integer properties (OSLanguage) left out.
const std::vector<std::string> kOld = {
    "----------Win32_NetworkAdapterConfiguration----------",
    "Caption\t[00000000] Microsoft Kernel Debug Network Adapter",
    "Caption\t[00000001] Intel(R) Ethernet Connection (7) I219-LM",
    "IPAddress\t192.168.10.23",
    "IPAddress\tfe80::1c2d:3e4f:5a6b:7c8d",
    "MACAddress\t00:1A:2B:3C:4D:5E",
    "Caption\t[00000002] WAN Miniport (SSTP)",
    "Caption\t[00000003] WAN Miniport (IKEv2)",
    "Caption\t[00000004] WAN Miniport (L2TP)",
    "Caption\t[00000005] WAN Miniport (PPTP)",
    "Caption\t[00000006] WAN Miniport (PPPOE)",
    "Caption\t[00000007] WAN Miniport (IP)",
    "MACAddress\t50:50:54:50:30:30",
    "Caption\t[00000008] WAN Miniport (IPv6)",
    "MACAddress\t33:50:6F:45:30:30",
    "Caption\t[00000009] WAN Miniport (Network Monitor)",
    "MACAddress\t52:54:55:4E:00:00",
    "Caption\t[00000010] Intel(R) I350 Gigabit Network Connection",
    "Caption\t[00000011] Intel(R) I350 Gigabit Network Connection",
    "Caption\t[00000012] Bluetooth Device (Personal Area Network)",
    "MACAddress\t9C:B6:D0:11:22:33",
    "----------Win32_NetworkAdapter----------",
    "Description\tMicrosoft Kernel Debug Network Adapter",
    "Manufacturer\tMicrosoft",
    "Name\tMicrosoft Kernel Debug Network Adapter",
    "PNPDeviceID\tROOT\\KDNIC\\0000",
    "Description\tIntel(R) Ethernet Connection (7) I219-LM",
    "AdapterType\tイーサネット 802.3",
    "Manufacturer\tIntel",
    "Name\tIntel(R) Ethernet Connection (7) I219-LM",
    "PNPDeviceID\tPCI\\VEN_8086&DEV_15BB&SUBSYS_86721043&REV_10\\3&11583659&0&FE",
    "Description\tBluetooth Device (Personal Area Network)",
    "AdapterType\tイーサネット 802.3",
    "Manufacturer\tMicrosoft",
    "Name\tBluetooth Device (Personal Area Network)",
    "PNPDeviceID\tBTH\\MS_BTHPAN\\6&2A3B4C5D&0&2",
    "----------Win32_Processor----------",
    "Name\tIntel(R) Core(TM) i7-8700 CPU @ 3.20GHz",
    "Description\tIntel64 Family 6 Model 158 Stepping 10",
    "ProcessorId\tBFEBFBFF000906EA",
    "----------Win32_OperatingSystem----------",
    "Caption\tMicrosoft Windows 11 Pro",
    "OSArchitecture\t64 ビット",
    "Version\t10.0.22631",
    "BuildNumber\t22631",
    "CountryCode\t81",
    "Locale\t0411",
    "CSName\tTANAKA-PC",
    "SerialNumber\t00330-80000-00000-AA123",
    "TotalVisibleMemorySize\t16647364",
    "----------Win32_BaseBoard----------",
    "Manufacturer\tASUSTeK COMPUTER INC.",
    "Product\tPRIME B360M-A",
    "Version\tRev X.0x",
    "----------Win32_ComputerSystemProduct----------",
    "Vendor\tASUS",
    "Name\tSystem Product Name",
    "UUID\t4C4C4544-0051-3510-8052-B4C04F4B4E32",
};

// A week later: the kernel debug adapter and one of the two I350 adapters are gone, every other
// adapter renumbered, the Ethernet adapter has a new address and the system took an update.
std::vector<std::string> WeekLater() {
    std::vector<std::string> now;
    for (std::size_t i = 0; i < kOld.size(); ++i) {
        std::string r = kOld[i];
        if (r.find("Kernel Debug") != std::string::npos ||
            r == "Caption\t[00000011] Intel(R) I350 Gigabit Network Connection") {
            i += r.starts_with("Description") ? 3 : 0;  // its four records in the adapters
            continue;
        }
        if (r.starts_with("Caption\t[000000")) {
            const int index = std::stoi(r.substr(9, 8)) + 20;
            char renumbered[16];
            std::snprintf(renumbered, sizeof renumbered, "[%08d]", index);
            r.replace(8, 10, renumbered);
        }
        if (r == "IPAddress\t192.168.10.23") {
            r = "IPAddress\t192.168.10.57";
        }
        if (r == "Version\t10.0.22631") {
            r = "Version\t10.0.22631.4460";
        }
        now.push_back(r);
    }
    return now;
}
const std::vector<std::string> kNew = WeekLater();
// Whole IPv4 addresses: a pseudonym stays in the address's range, so a piece such as "10.23"
// turns up in one by chance.
const char* const kPersonal[] = {"TANAKA",   "00330-80000",   "4C4C4544",      "1A:2B:3C",
                                 "B6:D0:11", "192.168.10.23", "192.168.10.57", "1c2d:3e4f"};

// Whether `text` holds `value` other than as the beginning of a longer number.
bool Holds(const std::string& text, const std::string& value) {
    for (auto at = text.find(value); at != std::string::npos; at = text.find(value, at + 1)) {
        const std::size_t end = at + value.size();
        if (end == text.size() || !std::isdigit(static_cast<unsigned char>(text[end]))) {
            return true;
        }
    }
    return false;
}

struct Reports : DecoderFolder {
    Reports() : DecoderFolder("/tmp/qrx-report-XXXXXX") {
        Write("PC_INFO_261201090000.dat", kOld);
        Write("PC_INFO_261207101530.dat", kNew);
        Write("PC_INFO_261207101531.dat", kNew, "not*base64\r\n");
    }
};

constexpr const char* kOldFile = "PC_INFO_261201090000.dat";
constexpr const char* kNewFile = "PC_INFO_261207101530.dat";
constexpr const char* kBadFile = "PC_INFO_261207101531.dat";

TEST_F(Reports, DiffShowsWhatChangedAndExitsAsDiffDoes) {
    struct Case {
        std::string args;
        int status;
        std::string out;  // exact, or a part of it when it starts with "..."
    };
    const std::string old = kOldFile, now = kNewFile, bad = kBadFile;
    const Case cases[] = {
        {"--diff " + old + " " + old, 0, "違いはありません: " + old + " と " + old + "\n"},
        {"--diff " + old + " " + now, 1,
         "--- PC_INFO_261201090000.dat\n+++ PC_INFO_261207101530.dat\n"
         "@@ Win32_NetworkAdapterConfiguration\n"
         "- Microsoft Kernel Debug Network Adapter\n"
         "    - Caption: [00000000] Microsoft Kernel Debug Network Adapter\n"
         "~ Intel(R) Ethernet Connection (7) I219-LM\n"
         "    - IPAddress: 192.168.10.23\n"
         "    + IPAddress: 192.168.10.57\n"
         "- [00000011] Intel(R) I350 Gigabit Network Connection\n"
         "    - Caption: [00000011] Intel(R) I350 Gigabit Network Connection\n"
         "@@ Win32_NetworkAdapter\n"
         "- Microsoft Kernel Debug Network Adapter\n"
         "    - Description: Microsoft Kernel Debug Network Adapter\n"
         "    - Manufacturer: Microsoft\n"
         "    - Name: Microsoft Kernel Debug Network Adapter\n"
         "    - PNPDeviceID: ROOT\\KDNIC\\0000\n"
         "@@ Win32_OperatingSystem\n"
         "~ #1\n"
         "    ~ Version: 10.0.22631 → 10.0.22631.4460\n"},
        {"--diff " + now + " " + bad, 2,
         "--- PC_INFO_261207101530.dat\n+++ PC_INFO_261207101531.dat\n"
         "!! PC_INFO_261207101531.dat: 復号できない行が 1 行あります。比較したのは復号できた記録"
         "だけです\n"},
        {"--diff " + old + " missing.dat", 2, ""},
        {"--diff " + old, 2, ""},
        {"--diff --csv " + old + " " + now, 2, ""},
        {"--json --html " + old, 2, ""},
        {old + " --mask-key", 2, ""},
    };
    for (const auto& c : cases) {
        int status = -1;
        EXPECT_EQ(Run(c.args, &status), c.out) << c.args;
        EXPECT_EQ(status, c.status) << c.args << "\n" << err;
    }
    int status = -1;
    Run("--diff " + now + " " + bad, &status);
    EXPECT_EQ(err, "PC_INFO_261207101531.dat:" + std::to_string(kNew.size() + 1) +
                       ": 暗号化されておらず、レコードの形もしていません\n");
}

TEST_F(Reports, DiffAsOneJsonObject) {
    int status = -1;
    const auto j = nlohmann::json::parse(
        Run("--diff --json " + std::string(kOldFile) + " " + kBadFile, &status));
    EXPECT_EQ(status, 2);
    EXPECT_EQ(j["same"], false);
    EXPECT_EQ(j["undecodable"][0]["line"], kNew.size() + 1);
    const auto& nic = j["classes"][0];
    EXPECT_EQ(nic["class"], "Win32_NetworkAdapterConfiguration");
    ASSERT_EQ(nic["instances"].size(), 3u);
    EXPECT_EQ(nic["instances"][0]["instance"], "Microsoft Kernel Debug Network Adapter");
    EXPECT_EQ(nic["instances"][0]["change"], "removed");
    EXPECT_EQ(nic["instances"][1]["properties"][0],
              nlohmann::json::parse(R"({"property":"IPAddress","change":"changed",
                                        "removed":["192.168.10.23"],"added":["192.168.10.57"]})"));
    EXPECT_EQ(j["classes"].size(), 3u);
}

// Every adapter is an instance of its own, however few properties it has; a multi-valued
// property is an array even with one value; the file's errors are in its object.
TEST_F(Reports, JsonHasEveryAdapterAndArraysStayArrays) {
    Write("one-address.dat",
          {kOld[0], "Caption\t[00000001] Intel(R) I219-LM", "IPAddress\t192.168.10.23",
           "----------Win32 BIOS----------", "Name\tafter-bios"});
    int status = -1;
    std::istringstream lines(Run("--json " + std::string(kOldFile) + " one-address.dat", &status));
    EXPECT_EQ(status, 1);
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    const auto j = nlohmann::json::parse(line);
    EXPECT_EQ(j["errors"], nlohmann::json::array());
    const auto& adapters = j["classes"][0]["instances"];
    ASSERT_EQ(adapters.size(), 13u);
    EXPECT_EQ(adapters[0],
              nlohmann::json::parse(
                  R"({"Caption":"[00000000] Microsoft Kernel Debug Network Adapter"})"));
    EXPECT_EQ(adapters[1]["IPAddress"][1], "fe80::1c2d:3e4f:5a6b:7c8d");
    EXPECT_EQ(adapters[7]["MACAddress"], "50:50:54:50:30:30");
    EXPECT_EQ(j["classes"][1]["instances"][1]["AdapterType"], "イーサネット 802.3");
    EXPECT_EQ(j["classes"][3]["instances"][0]["OSArchitecture"], "64 ビット");

    ASSERT_TRUE(std::getline(lines, line));
    const auto one = nlohmann::json::parse(line);
    EXPECT_EQ(one["classes"][0]["instances"][0]["IPAddress"],
              nlohmann::json::array({"192.168.10.23"}));
    EXPECT_EQ(one["classes"].size(), 1u);  // nothing placed under the unknown class
    EXPECT_EQ(one["errors"], nlohmann::json::parse(R"([
        {"line":4,"reason":"プログラムが書かないクラスの見出しです: Win32 BIOS"},
        {"line":5,"reason":"プログラムが書かないクラス Win32 BIOS の見出しの後の記録です"}])"));
}

// A newer program's file: a property that the plan does not hold in a known class and a whole
// class of two instances. Every output keeps them, marked, apart from the known ones in JSON;
// their values are escaped and masked like any; one line on standard error says why. A line
// that decrypts to no record's shape (a name with a space, or too long) stays damage.
TEST_F(Reports, NewerProgramsRecordsAreShownMarkedInEveryOutput) {
    std::vector<std::string> newer = kOld;
    newer.insert(std::find(newer.begin(), newer.end(), "----------Win32_OperatingSystem----------"),
                 "L2CacheSize\t1024");
    newer.insert(newer.end(), {"----------Win32_VideoController----------", "Name\t<b>UHD 630</b>",
                               "AdapterRAM\t1073741824", "Name\tTANAKA-PC GPU", "AdapterRAM\t512"});
    const std::string file = "PC_INFO_261208090000.dat", old = kOldFile;
    Write(file, newer);
    Write("PC_INFO_261208090001.dat", newer,
          Cipher("L2 Cache\t1") + "\r\n" + Cipher(std::string(100, 'A') + "\t1") + "\r\n");
    const std::string unzip =
        "python3 -c \"import sys,zipfile; print(zipfile.ZipFile(sys.argv[1])"
        ".read('xl/sharedStrings.xml').decode())\" ";
    const std::string gpus = R"([{"Name":"<b>UHD 630</b>","AdapterRAM":"1073741824"},
                                 {"Name":"TANAKA-PC GPU","AdapterRAM":"512"}])";
    // What the output holds; for JSON a pointer, a space and the value there.
    const struct {
        std::string args;
        int status;
        std::vector<std::string> shown;
    } cases[] = {
        {file, 0, {"(未知) L2CacheSize\t1024\n", "(未知) ----------Win32_VideoController-----"}},
        {"--mask-key k " + file, 0, {"(未知) L2CacheSize\t1024\n", "(未知) AdapterRAM\t512\n"}},
        {"--csv " + file, 0, {",#1,(未知) L2CacheSize,1024\r\n", ",#2,(未知) AdapterRAM,512\r\n"}},
        {"--summary " + file, 0, {"0 (このデコーダーの知らない記録: Win32_Processor.L2CacheSize"}},
        {"--html " + file, 0, {"L2CacheSize <span class=\"note\">(このデコーダーの", "&lt;b&gt;"}},
        {"--xlsx out.xlsx " + file, 0, {"(未知) L2CacheSize"}},
        {"--diff " + old + " " + file, 1, {"+ (未知) L2CacheSize: 1024\n", "@@ (未知) Win32_Vi"}},
        {"--diff --html " + old + " " + file, 1, {"AdapterRAM <span class=\"note\">(この"}},
        {"--json " + file,
         0,
         {R"(/classes/2/instances/0/unknown {"L2CacheSize":"1024"})",
          "/classes/6 {\"class\":\"Win32_VideoController\",\"instances\":[],\"unknown\":" + gpus +
              "}"}},
        {"--summary --json " + file,
         0,
         {R"(/unknown ["Win32_Processor.L2CacheSize","Win32_VideoController"])"}},
        {"--diff --json " + old + " " + file,
         1,
         {R"(/classes/0/instances/0/unknown/0/property "L2CacheSize")", "/classes/1/instances []",
          "/classes/1/unknown/0/properties/0/new \"<b>UHD 630</b>\""}},
        {"PC_INFO_261208090001.dat", 1, {"(未知) AdapterRAM\t512\n"}},
    };
    for (const auto& c : cases) {
        int status = -1;
        std::string out = Run(c.args, &status);
        EXPECT_EQ(status, c.status) << c.args << "\n" << err;
        if (c.args.starts_with("--xlsx")) {
            RunShell(unzip + (dir / "out.xlsx").string(), out);
        }
        const bool json = c.args.find("--json") != std::string::npos;
        for (const auto& s : c.shown) {
            if (json) {
                const auto space = s.find(' ');
                EXPECT_EQ(
                    nlohmann::json::parse(out)[nlohmann::json::json_pointer(s.substr(0, space))],
                    nlohmann::json::parse(s.substr(space + 1)))
                    << c.args;
            } else {
                EXPECT_NE(out.find(s), std::string::npos) << c.args << " lacks " << s << "\n"
                                                          << out;
            }
        }
        EXPECT_FALSE(c.args.starts_with("--mask") && Holds(out, "TANAKA")) << out;
        // One warning, for the newer file; the damaged lines of the other one as ever.
        EXPECT_EQ(err.find("新しいプログラム"), err.rfind("新しいプログラム")) << err;
        EXPECT_NE(err.find("このデコーダーの知らないクラスかプロパティの記録が 6 行あります"),
                  std::string::npos)
            << c.args << "\n"
            << err;
        if (c.args.starts_with("PC_INFO_261208090001")) {
            for (const std::size_t line : {newer.size() + 1, newer.size() + 2}) {
                EXPECT_NE(
                    err.find(":" + std::to_string(line) + ": 復号結果がレコードの形をしていません"),
                    std::string::npos)
                    << err;
            }
        }
    }
}

TEST_F(Reports, MaskLeavesNothingPersonalInAnyOutputAndDiffsStillLineUp) {
    const std::string both = std::string(kOldFile) + " " + kNewFile;
    for (const std::string& args :
         {"--mask " + both, "--mask --json " + both, "--mask --html " + both,
          "--mask --diff " + both, "--mask-key secret --diff --json " + both}) {
        int status = -1;
        const std::string out = Run(args, &status);
        EXPECT_NE(out, "") << args;
        for (const char* p : kPersonal) {
            EXPECT_FALSE(Holds(out, p)) << args << ": " << p;
        }
        EXPECT_NE(out.find("Intel(R) Ethernet Connection (7) I219-LM"), std::string::npos) << args;
    }
    // The masked diff has the same changes as the plain one: same lines, other addresses.
    int status = -1;
    const std::string plain = Run("--diff " + both, &status);
    const std::string masked = Run("--diff --mask " + both, &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(std::count(masked.begin(), masked.end(), '\n'),
              std::count(plain.begin(), plain.end(), '\n'));
    EXPECT_NE(masked.find("    - IPAddress: 192.168."), std::string::npos) << masked;
    // A key given twice gives the same pseudonyms; the random key does not.
    EXPECT_EQ(Run("--mask-key k " + both, &status), Run("--mask-key k " + both, &status));
    EXPECT_NE(Run("--mask " + both, &status), Run("--mask " + both, &status));
}

TEST_F(Reports, HtmlPageIsSelfContainedEscapedAndRendersAsTables) {
    int status = -1;
    Write("crafted.dat",
          {"----------Win32_BaseBoard----------", "Product\tWindows <b>11</b> & more"});
    const std::string page =
        Run("--html " + std::string(kOldFile) + " " + kBadFile + " crafted.dat", &status);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(
        page.starts_with("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n"
                         "<meta charset=\"utf-8\">"));
    for (const char* outside : {"<script", "src=", "url(", "@import", "<link"}) {
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    }
    // Links only within the page: the index to the sections.
    for (auto at = page.find("href="); at != std::string::npos; at = page.find("href=", at + 1)) {
        EXPECT_EQ(page.substr(at, 7), "href=\"#") << page.substr(at, 40);
    }
    EXPECT_NE(page.find("収集日時 2026-12-01 09:00:00"), std::string::npos);
    EXPECT_NE(page.find("<li>" + std::to_string(kNew.size() + 1) +
                        " 行目: 暗号化されておらず、レコードの形もしていません"),
              std::string::npos);
    { std::ofstream(dir / "report.html") << page; }

    // What a browser makes of it: the tables, arrays as lists, the value as text.
    const std::string chromium = Chromium();
    const std::string url = "file://" + (dir / "report.html").string();
    std::string dom;
    ASSERT_EQ(RunShell(chromium + "--dump-dom " + url + " 2>/dev/null", dom), 0)
        << "chromium (scripts/setup.sh installs it)";
    std::size_t tables = 0;
    for (auto at = dom.find("<table>"); at != std::string::npos; at = dom.find("<table>", at + 1)) {
        ++tables;
    }
    EXPECT_EQ(tables, 13u);
    EXPECT_NE(dom.find("<td><ul class=\"values\"><li>192.168.10.23</li><li>fe80::1c2d:3e4f:5a6b:"
                       "7c8d</li></ul></td>"),
              std::string::npos)
        << dom;
    EXPECT_NE(dom.find("<td>Windows &lt;b&gt;11&lt;/b&gt; &amp; more</td>"), std::string::npos);
    // Thirteen adapters, each a row.
    EXPECT_NE(dom.find("<tr><td>13</td><td>[00000012] Bluetooth Device"), std::string::npos);
    EXPECT_EQ(dom.find("<b>"), std::string::npos);

    // A picture for people to look at.
    fs::remove(QRX_SCREENSHOT);
    EXPECT_EQ(std::system((chromium + "--window-size=1000,1600 --screenshot=" QRX_SCREENSHOT " " +
                           url + " >/dev/null 2>&1")
                              .c_str()),
              0);
    EXPECT_GT(fs::file_size(QRX_SCREENSHOT), 10000u);
}

}  // namespace
}  // namespace qrx::test
