// The decoder's reports as a support desk runs them: the real binary on data files encrypted
// with the real cipher, and the HTML page rendered by headless Chromium.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cipher/clsCipher.h"
#include "platform/linux/IconvCodec.h"
#include "platform/linux/OpenSslCrypto.h"
#include "tests/support/Fakes.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kOld = {
    "----------Win32_NetworkAdapterConfiguration----------",
    "Caption\t[00000001] Intel(R) Ethernet I219-LM",
    "IPAddress\t192.168.1.10",
    "IPAddress\tfe80::1c2d:3e4f:5a6b:7c8d",
    "MACAddress\t00:1A:2B:3C:4D:5E",
    "Caption\t[00000002] VPN Adapter",
    "IPAddress\t10.8.0.2",
    "MACAddress\t00:FF:11:22:33:44",
    "----------Win32_OperatingSystem----------",
    "Caption\tMicrosoft Windows 10 Pro",
    "CSName\tTANAKA-PC",
    "SerialNumber\t00330-80000-00000-AA123",
    "----------Win32_ComputerSystemProduct----------",
    "UUID\t4C4C4544-0051-3510-8052-B4C04F4B4E32",
};
// The Ethernet adapter was renumbered and got a new address, the VPN is gone, Wi-Fi is new.
const std::vector<std::string> kNew = {
    "----------Win32_NetworkAdapterConfiguration----------",
    "Caption\t[00000003] Wi-Fi 6 AX201",
    "MACAddress\tA0:B1:C2:D3:E4:F5",
    "Caption\t[00000004] Intel(R) Ethernet I219-LM",
    "IPAddress\tfe80::1c2d:3e4f:5a6b:7c8d",
    "IPAddress\t192.168.1.11",
    "MACAddress\t00:1A:2B:3C:4D:5E",
    "----------Win32_OperatingSystem----------",
    "Caption\tWindows <b>11</b> & more",
    "CSName\tTANAKA-PC",
    "SerialNumber\t00330-80000-00000-AA123",
    "----------Win32_ComputerSystemProduct----------",
    "UUID\t4C4C4544-0051-3510-8052-B4C04F4B4E32",
};
// Whole IPv4 addresses: a pseudonym stays in the address's range, so a piece such as "1.10"
// turns up in one (192.168.71.104) by chance.
const char* const kPersonal[] = {"TANAKA",   "00330-80000", "4C4C4544",     "1A:2B:3C",
                                 "FF:11:22", "B1:C2:D3",    "192.168.1.10", "192.168.1.11",
                                 "10.8.0.2", "1c2d:3e4f"};

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

struct Reports : ::testing::Test {
    fs::path dir;
    OpenSslCrypto crypto{EvpDecryption()};
    IconvCodec codec;
    FakeWindow window;
    std::string err;

    void SetUp() override {
        char pattern[] = "/tmp/qrx-report-XXXXXX";
        dir = mkdtemp(pattern);
        Write("PC_INFO_261201090000.dat", kOld);
        Write("PC_INFO_261207101530.dat", kNew);
        Write("PC_INFO_261207101531.dat", kNew, "not*base64\r\n");
    }
    void TearDown() override { fs::remove_all(dir); }

    void Write(const std::string& name, const std::vector<std::string>& records,
               const std::string& tail = "") {
        clsCipher cipher(crypto, codec, window);
        std::ofstream out(dir / name, std::ios::binary);
        for (const auto& r : records) {
            out << cipher.gfEncryptDecrypt(r, 0) << "\r\n";
        }
        out << tail;
    }
    // Runs the decoder in the folder; standard output is returned, standard error kept.
    std::string Run(const std::string& args, int* status) {
        const std::string command =
            "cd " + dir.string() + " && " QRX_DECODER " " + args + " 2>stderr.txt";
        FILE* p = popen(command.c_str(), "r");
        std::string out;
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) {
            out.append(buf, n);
        }
        const int rc = pclose(p);
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        std::ifstream e(dir / "stderr.txt");
        err.assign(std::istreambuf_iterator<char>(e), {});
        return out;
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
        {"--diff " + old + " " + old, 0, ""},
        {"--diff " + old + " " + now, 1,
         "--- PC_INFO_261201090000.dat\n+++ PC_INFO_261207101530.dat\n"
         "@@ Win32_NetworkAdapterConfiguration\n"
         "+ Wi-Fi 6 AX201\n"
         "    + Caption: [00000003] Wi-Fi 6 AX201\n"
         "    + MACAddress: A0:B1:C2:D3:E4:F5\n"
         "~ Intel(R) Ethernet I219-LM\n"
         "    ~ Caption: [00000001] Intel(R) Ethernet I219-LM → [00000004] Intel(R) Ethernet "
         "I219-LM\n"
         "    - IPAddress: 192.168.1.10\n"
         "    + IPAddress: 192.168.1.11\n"
         "- VPN Adapter\n"
         "    - Caption: [00000002] VPN Adapter\n"
         "    - IPAddress: 10.8.0.2\n"
         "    - MACAddress: 00:FF:11:22:33:44\n"
         "@@ Win32_OperatingSystem\n"
         "~ #1\n"
         "    ~ Caption: Microsoft Windows 10 Pro → Windows <b>11</b> & more\n"},
        {"--diff " + now + " " + bad, 2,
         "--- PC_INFO_261207101530.dat\n+++ PC_INFO_261207101531.dat\n"
         "!! PC_INFO_261207101531.dat: 復号できない行が 1 行あります。比較したのは復号できた記録"
         "だけです\n"},
        {"--diff " + old + " missing.dat", 2, ""},
        {"--diff " + old, 2, ""},
        {"--diff --html " + old + " " + now, 2, ""},
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
    EXPECT_EQ(err, "PC_INFO_261207101531.dat:14: 暗号化されておらず、レコードの形もしていません\n");
}

TEST_F(Reports, DiffAsOneJsonObject) {
    int status = -1;
    const auto j = nlohmann::json::parse(
        Run("--diff --json " + std::string(kOldFile) + " " + kBadFile, &status));
    EXPECT_EQ(status, 2);
    EXPECT_EQ(j["same"], false);
    EXPECT_EQ(j["undecodable"][0]["line"], 14);
    const auto& nic = j["classes"][0];
    EXPECT_EQ(nic["class"], "Win32_NetworkAdapterConfiguration");
    EXPECT_EQ(nic["instances"][0]["change"], "added");
    EXPECT_EQ(nic["instances"][1]["properties"][1],
              nlohmann::json::parse(R"({"property":"IPAddress","change":"changed",
                                        "removed":["192.168.1.10"],"added":["192.168.1.11"]})"));
    EXPECT_EQ(nic["instances"][2]["instance"], "VPN Adapter");
    EXPECT_EQ(nic["instances"][2]["change"], "removed");
    EXPECT_EQ(j["classes"].size(), 2u);
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
        EXPECT_NE(out.find("Intel(R) Ethernet I219-LM"), std::string::npos) << args;
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
    const std::string page = Run("--html " + std::string(kOldFile) + " " + kBadFile, &status);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(
        page.starts_with("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n"
                         "<meta charset=\"utf-8\">"));
    for (const char* outside : {"<script", "src=", "href=", "url(", "@import", "<link"}) {
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    }
    EXPECT_NE(page.find("収集日時 2026-12-01 09:00:00"), std::string::npos);
    EXPECT_NE(page.find("<li>14 行目: 暗号化されておらず、レコードの形もしていません"),
              std::string::npos);
    { std::ofstream(dir / "report.html") << page; }

    // What a browser makes of it: the tables, arrays as lists, the value as text.
    const std::string chromium =
        "chromium --headless --no-sandbox --disable-gpu "
        "--user-data-dir=" +
        (dir / "profile").string() + " ";
    const std::string url = "file://" + (dir / "report.html").string();
    FILE* p = popen((chromium + "--dump-dom " + url + " 2>/dev/null").c_str(), "r");
    std::string dom;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) {
        dom.append(buf, n);
    }
    ASSERT_EQ(pclose(p), 0) << "chromium (scripts/setup.sh installs it)";
    std::size_t tables = 0;
    for (auto at = dom.find("<table>"); at != std::string::npos; at = dom.find("<table>", at + 1)) {
        ++tables;
    }
    EXPECT_EQ(tables, 6u);
    EXPECT_NE(dom.find("<td><ul class=\"values\"><li>192.168.1.10</li><li>fe80::1c2d:3e4f:5a6b:"
                       "7c8d</li></ul></td>"),
              std::string::npos)
        << dom;
    EXPECT_NE(dom.find("<td>Windows &lt;b&gt;11&lt;/b&gt; &amp; more</td>"), std::string::npos);
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
