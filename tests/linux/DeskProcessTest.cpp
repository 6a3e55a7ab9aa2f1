// A support desk's week with the real decoder: a folder of customers' files, one zipped with a
// password, one renamed after a person; the summary, the CSV, the diff page and the masking.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/DecoderFolder.h"
#include "tools/decode/inputs/ArchiveTree.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

// One customer's PC, its personal values in `personal`.
struct Customer {
    std::vector<std::string> records;
    std::vector<std::string> personal;
};

std::string Lower(std::string s) {
    for (auto& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

Customer Pc(const std::string& host, const std::string& mac, const std::string& ip,
            const std::string& uuid, const std::string& serial, const std::string& build,
            const std::string& memoryKb) {
    std::string dashless = mac;
    std::erase(dashless, ':');
    return {{
                "----------Win32_NetworkAdapterConfiguration----------",
                "Caption\t[00000001] Intel(R) Ethernet Connection (7) I219-LM",
                "IPAddress\t" + ip + "/24",
                "MACAddress\t" + mac,
                "Caption\t[00000002] Bluetooth Device (Personal Area Network)",
                "----------Win32_NetworkAdapter----------",
                "Description\tIntel(R) Ethernet Connection (7) I219-LM",
                "Name\tIntel(R) Ethernet Connection (7) I219-LM",
                "PNPDeviceID\tPCI\\VEN_8086&DEV_15BB&SUBSYS_86721043&REV_10\\3&11583659&0&FE",
                "Description\tBluetooth Device (Personal Area Network)",
                "Name\tBluetooth Device (Personal Area Network)",
                "PNPDeviceID\tBTHENUM\\{0000000f-0000-1000-8000-00805f9b34fb}_VID&0001000f_PID&"
                "1200_REV&1101&0&" +
                    dashless + "_C00000000",
                "Description\tRemote NDIS Compatible Device (" + Lower(host) + ")",
                "----------Win32_Processor----------",
                "Name\tIntel(R) Core(TM) i7-8700 CPU @ 3.20GHz",
                "----------Win32_OperatingSystem----------",
                "Caption\tMicrosoft Windows 11 Pro",
                "BuildNumber\t" + build,
                "CountryCode\t81",
                "Locale\t0411",
                "CSName\t" + host,
                "SerialNumber\t" + serial,
                "TotalVisibleMemorySize\t" + memoryKb,
                "----------Win32_ComputerSystemProduct----------",
                "Vendor\tASUS",
                "UUID\t" + uuid,
            },
            {host, Lower(host), mac, dashless, ip, uuid, serial}};
}

const Customer kYamada =
    Pc("YAMADA-PC", "00:1A:2B:3C:4D:5E", "192.168.10.23", "4C4C4544-0051-3510-8052-B4C04F4B4E32",
       "00330-80000-00000-AA123", "22631", "16647364");
const Customer kSato =
    Pc("SATO-NOTE", "9C:B6:D0:11:22:33", "10.1.2.77", "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0",
       "00331-10000-00000-AA999", "19045", "8300000");
const Customer kSuzuki =
    Pc("SUZUKI-DESK", "3C:7C:3F:AA:BB:CC", "172.16.5.9", "11223344-5566-7788-99AA-BBCCDDEEFF00",
       "00332-20000-00000-AB001", "22621", "33400000");

// A week later Yamada's PC has a new address and took an update.
Customer YamadaLater() {
    Customer c = kYamada;
    for (auto& r : c.records) {
        if (r == "IPAddress\t192.168.10.23/24") {
            r = "IPAddress\t192.168.10.57/24";
        } else if (r == "BuildNumber\t22631") {
            r = "BuildNumber\t22631.4460";
        }
    }
    c.personal.push_back("192.168.10.57");
    return c;
}

// Names on the desk's disk that are personal too.
const char* const kNames[] = {"ACME商事", "山田太郎", "佐藤花子"};

struct DeskWeek : DecoderFolder {
    DeskWeek() : DecoderFolder("/tmp/qrx-desk-XXXXXX") {
        fs::create_directories(dir / "受付/ACME商事/山田太郎様");
        Write("受付/ACME商事/山田太郎様/PC_INFO_261201090000.dat", kYamada.records);
        Write("受付/ACME商事/山田太郎様/PC_INFO_261207101530.dat", YamadaLater().records);
        Write("受付/佐藤花子.dat", kSato.records, "not*base64\r\n");
        std::ofstream(dir / "pw.txt") << "s3cret\r\n";
        std::ofstream(dir / "wrong.txt") << "guess\n";
    }
    void SetUp() override {
        Zip("受付/suzuki.zip", {{"PC_INFO_261205143000.dat", Encrypted(kSuzuki.records)}},
            "zip:encryption=zipcrypt", "s3cret");
    }

    // An archive written by libarchive: zip (`options` may ask for encryption), 7z or tar.gz.
    void Zip(const std::string& name,
             const std::vector<std::pair<std::string, std::string>>& members,
             const std::string& options = "", const std::string& password = "",
             const std::string& format = "zip") {
        archive* a = archive_write_new();
        if (format == "tar.gz") {
            archive_write_set_format_pax_restricted(a);
            archive_write_add_filter_gzip(a);
        } else {
            archive_write_set_format_by_name(a, format.c_str());
        }
        if (!options.empty()) {
            ASSERT_EQ(archive_write_set_options(a, options.c_str()), ARCHIVE_OK)
                << archive_error_string(a);
        }
        if (!password.empty()) {
            archive_write_set_passphrase(a, password.c_str());
        }
        ASSERT_EQ(archive_write_open_filename(a, (dir / name).c_str()), ARCHIVE_OK);
        for (const auto& [member, data] : members) {
            archive_entry* e = archive_entry_new();
            archive_entry_set_pathname(e, member.c_str());
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_perm(e, 0644);
            archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
            ASSERT_EQ(archive_write_header(a, e), ARCHIVE_OK) << archive_error_string(a);
            archive_write_data(a, data.data(), data.size());
            archive_entry_free(e);
        }
        archive_write_close(a);
        archive_write_free(a);
    }
};

constexpr const char* kOld = "受付/ACME商事/山田太郎様/PC_INFO_261201090000.dat";
constexpr const char* kNew = "受付/ACME商事/山田太郎様/PC_INFO_261207101530.dat";
// The folder alone: the zip and the renamed file in it are found by their content.
constexpr const char* kWeek = "--password-file pw.txt 受付";

TEST_F(DeskWeek, EveryModeReadsTheFolderTheArchiveAndTheRenamedFile) {
    struct Case {
        std::string args;
        int status;
        std::vector<std::string> shown;  // parts of the output
    };
    const Case cases[] = {
        {std::string("--summary ") + kWeek,
         1,
         {"ファイル", "受付/suzuki.zip:PC_INFO_261205143000.dat", "2026-12-05 14:30:00",
          "SUZUKI-DESK", "22631.4460", "15.9 GiB", "Microsoft Windows 11 Pro"}},
        {std::string("--summary --json ") + kWeek, 1, {"\"memoryGiB\":31.9", "\"undecodable\":1"}},
        {std::string("--csv ") + kWeek,
         1,
         {"\xEF\xBB\xBFファイル,収集日時,クラス,インスタンス,プロパティ,値\r\n",
          "受付/suzuki.zip:PC_INFO_261205143000.dat,2026-12-05 14:30:00,"
          "Win32_OperatingSystem,#1,CSName,SUZUKI-DESK\r\n",
          ",Win32_NetworkAdapterConfiguration,Intel(R) Ethernet Connection (7) I219-LM,"
          "IPAddress,10.1.2.77/24\r\n"}},
        {std::string("--html ") + kWeek,
         1,
         {"<table class=\"index\">", "<a href=\"#file-4\">受付/佐藤花子.dat</a>",
          "<section id=\"file-4\">", "16647364<span class=\"readable\">(15.9 GiB)</span>",
          "0411<span class=\"readable\">(日本語 (日本))</span>"}},
        {std::string("--diff --html ") + kOld + " " + kNew,
         1,
         {"<tr class=\"changed\"><td class=\"sign\">~</td><td>BuildNumber</td><td>22631</td>"
          "<td>22631.4460</td></tr>",
          "<td class=\"sign\">−</td><td>IPAddress</td><td>192.168.10.23/24</td>",
          "<td class=\"sign\">+</td><td>IPAddress</td><td></td><td>192.168.10.57/24</td>"}},
        {std::string("--diff --html ") + kOld + " " + kOld, 0, {"<p>違いはありません。</p>"}},
    };
    for (const auto& c : cases) {
        int status = -1;
        const std::string out = Run(c.args, &status);
        EXPECT_EQ(status, c.status) << c.args << "\n" << err;
        for (const auto& s : c.shown) {
            EXPECT_NE(out.find(s), std::string::npos) << c.args << ": " << s << "\n" << out;
        }
        // The folder's files sorted by path, then the archive, then the renamed file.
        if (c.args.starts_with("--summary ")) {
            const auto at = [&](const char* name) { return out.find(name); };
            EXPECT_LT(at("261201090000"), at("261207101530")) << out;
            EXPECT_LT(at("261207101530"), at("suzuki.zip:")) << out;
            EXPECT_LT(at("suzuki.zip:"), at("佐藤花子.dat")) << out;
        }
    }
}

// The summary's columns line up on a terminal, Japanese characters taking two columns.
TEST_F(DeskWeek, SummaryIsAnAlignedTable) {
    int status = -1;
    std::istringstream lines(Run(std::string("--summary ") + kWeek, &status));
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 5u);
    // Where the host column begins, in display columns.
    const auto column = [](const std::string& row, const std::string& value) {
        const std::string before = row.substr(0, row.find(value));
        std::size_t width = 0;
        for (std::size_t i = 0; i < before.size(); ++i) {
            const auto c = static_cast<unsigned char>(before[i]);
            width += (c & 0xC0) == 0x80 ? 0 : c >= 0xE0 ? 2 : 1;
        }
        return width;
    };
    EXPECT_EQ(column(rows[0], "コンピューター名"), column(rows[1], "YAMADA-PC"));
    EXPECT_EQ(column(rows[3], "SUZUKI-DESK"), column(rows[4], "SATO-NOTE"));
}

TEST_F(DeskWeek, ArchivesThatCannotBeReadSayWhyOnceAndExitTwo) {
    Zip("aes.zip", {{"sub/PC_INFO_261205143000.dat", Encrypted(kSuzuki.records)}},
        "zip:encryption=aes256", "s3cret");
    Zip("week.7z",
        {{"PC_INFO_261205143000.dat", Encrypted(kSuzuki.records)},
         {"readme.txt", "not a data file"}},
        "", "", "7zip");
    Zip("week.tar.gz", {{"a/PC_INFO_261201090000.dat", Encrypted(kYamada.records)}}, "", "",
        "tar.gz");
    // A data file inflating to more than the decoder reads from a member (a few KB compressed).
    Zip("bomb.zip", {{"PC_INFO_261205143000.dat",
                      Encrypted(kSuzuki.records) + std::string(65 * 1024 * 1024, '\0')}});
    std::ofstream(dir / "broken.zip") << "PK\x03\x04 this is not a zip";
    struct Case {
        std::string args;
        int status;
        std::string out;  // a part of standard output
        std::string err;  // the one line of standard error, or a part of it
    };
    const Case cases[] = {
        {"--summary 受付/suzuki.zip", 2, "", "受付/suzuki.zip: パスワード付きの圧縮ファイルです"},
        {"--summary --password-file wrong.txt 受付/suzuki.zip", 2, "",
         "受付/suzuki.zip: パスワードが違うか"},
        {"--summary --password-file missing.txt 受付/suzuki.zip", 2, "", "missing.txt: 開けません"},
        {"--summary --password-file pw.txt aes.zip", 0, "aes.zip:sub/PC_INFO_261205143000.dat", ""},
        {"--summary week.7z", 0, "week.7z:PC_INFO_261205143000.dat", ""},
        {"--summary week.tar.gz", 0, "week.tar.gz:a/PC_INFO_261201090000.dat", ""},
        {"--summary bomb.zip", 2, "", "bomb.zip:PC_INFO_261205143000.dat: 展開すると 64 MiB"},
        {"--summary broken.zip", 2, "", "broken.zip: "},
        {"--diff 受付/ACME商事 " + std::string(kNew), 2, "", "--diff で比べるのは 1 つずつ"},
        {"--summary 受付/ACME商事/山田太郎様/..", 0, "PC_INFO_261207101530.dat", ""},
    };
    for (const auto& c : cases) {
        int status = -1;
        const std::string out = Run(c.args, &status);
        EXPECT_EQ(status, c.status) << c.args << "\n" << err;
        EXPECT_NE(out.find(c.out), std::string::npos) << c.args << "\n" << out;
        EXPECT_NE(err.find(c.err), std::string::npos) << c.args << "\n" << err;
        EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 1) << c.args << "\n" << err;
    }
}

// Small limits, a tar.gz (passing over b inflates it): members handed, the start of the archive's
// reason "|" a member's read error; past the run's limit no later archive is opened.
TEST_F(DeskWeek, PastAnInflateLimitTheRestOfTheArchiveAndOfTheRunIsNotRead) {
    Zip("week.tar.gz",
        {{"a", std::string(102400, 'a')}, {"b", std::string(102400, 'b')}, {"c", "c"}}, "", "",
        "tar.gz");
    const std::string path = (dir / "week.tar.gz").string();
    ArchiveTree tree([](archive* a, const std::string& name) {
        return archive_read_open_filename(a, name.c_str(), 10240);
    });
    const std::tuple<InflateLimits, std::string, std::string> rows[] = {
        {{}, "a c ", "|"},
        {{.archive = 180000}, "a ", "展開すると合わせて 180000 バイト を超える"},
        {{.run = 80000}, "a ", "|この実行で展開した量が合わせて 80000 バイト"},
    };
    for (const auto& [limits, handed, reason] : rows) {
        InflateBudget budget{limits};
        std::string got, member, error, buffer(4096, ' ');
        const auto each = [&](const std::string& name, IByteInput& input) {
            for (Result<std::size_t> n = 1; n && *n > 0;) {
                n = input.Read(buffer.data(), buffer.size());
                error = n ? "" : n.failure().Message();
            }
            got += name + " ";
            return true;
        };
        const auto wanted = [](const std::string& name, std::string_view) { return name != "b"; };
        const Done r = tree.ReadArchive(path, {}, budget, wanted, each, member);
        EXPECT_EQ(got, handed);
        EXPECT_EQ(((r ? "" : r.failure().text) + "|" + error).substr(0, reason.size()), reason);
        const Done again = tree.ReadArchive(path, {}, budget, wanted, each, member);
        EXPECT_EQ(!again && again.failure().text.starts_with("この実行"),
                  budget.spent > budget.limits.run);
    }
}

// The diff page and the summary index as a browser shows and prints them; the pictures stay in
// the build folder for people to look at.
TEST_F(DeskWeek, DiffPageAndIndexRenderAndPrint) {
    int status = -1;
    {
        std::ofstream(dir / "diff.html")
            << Run(std::string("--diff --html ") + kOld + " " + kNew, &status);
    }
    { std::ofstream(dir / "index.html") << Run(std::string("--html ") + kWeek, &status); }
    const fs::path build = fs::path(QRX_SCREENSHOT).parent_path();
    const std::string chromium = Chromium();
    const auto url = [&](const char* page) { return "file://" + (dir / page).string(); };
    const auto dump = [&](const std::string& command) {
        std::string out;
        EXPECT_EQ(RunShell(command, out), 0) << command;
        return out;
    };
    const std::string diff = dump(chromium + "--dump-dom " + url("diff.html") + " 2>/dev/null");
    EXPECT_NE(diff.find("<tr class=\"instance changed\"><td class=\"sign\">~</td><td colspan=\"3\">"
                        "Intel(R) Ethernet Connection (7) I219-LM</td></tr>"),
              std::string::npos)
        << diff;
    const std::string index = dump(chromium + "--dump-dom " + url("index.html") + " 2>/dev/null");
    EXPECT_NE(
        index.find("<td><a href=\"#file-3\">受付/suzuki.zip:PC_INFO_261205143000.dat</a></td>"),
        std::string::npos)
        << index;
    for (const auto& [page, picture] :
         {std::pair{"diff.html", "desk-diff.png"}, std::pair{"index.html", "desk-index.png"}}) {
        fs::remove(build / picture);
        EXPECT_EQ(std::system((chromium + "--window-size=1200,900 --screenshot=" +
                               (build / picture).string() + " " + url(page) + " >/dev/null 2>&1")
                                  .c_str()),
                  0);
        EXPECT_GT(fs::file_size(build / picture), 10000u) << picture;
    }
    // Printed: the signs carry the changes without colour.
    const fs::path pdf = build / "desk-diff.pdf";
    fs::remove(pdf);
    EXPECT_EQ(std::system((chromium + "--no-pdf-header-footer --print-to-pdf=" + pdf.string() +
                           " " + url("diff.html") + " >/dev/null 2>&1")
                              .c_str()),
              0);
    ASSERT_TRUE(fs::exists(pdf));
    if (std::system("command -v pdftotext >/dev/null && command -v pdftoppm >/dev/null") == 0) {
        const std::string text = dump("pdftotext -layout " + pdf.string() + " -");
        EXPECT_NE(text.find("~"), std::string::npos) << text;
        EXPECT_NE(text.find("BuildNumber"), std::string::npos) << text;
        EXPECT_NE(text.find("−"), std::string::npos) << text;
        EXPECT_EQ(std::system(("pdftoppm -png -gray -r 60 -f 1 -l 1 " + pdf.string() + " " +
                               (build / "desk-diff-print").string())
                                  .c_str()),
                  0);
    }
}

// Masked, nothing personal is left in any output: no value, and no file, folder or archive name
// (the customers' folders, the file renamed after a person).
TEST_F(DeskWeek, MaskedOutputsHoldNothingPersonalFileNamesIncluded) {
    std::ofstream(dir / "key.txt") << "desk key 2026\n";
    std::vector<std::string> personal(std::begin(kNames), std::end(kNames));
    personal.insert(personal.end(), {"受付", "suzuki", "SATO", "YAMADA", "SUZUKI"});
    for (const Customer* c : {&kYamada, &kSato, &kSuzuki}) {
        personal.insert(personal.end(), c->personal.begin(), c->personal.end());
    }
    personal.push_back("192.168.10.57");
    const std::string pair = std::string(kOld) + " " + kNew;
    const std::string week = kWeek;
    const struct {
        std::string args;
        std::vector<std::string> shown;  // what stands for the files
    } cases[] = {
        {"--summary " + week,
         {"PC_INFO_261201090000.dat", "PC_INFO_261205143000.dat  2026-12-05", "file-1"}},
        {"--summary --json " + week,
         {"\"file\":\"PC_INFO_261207101530.dat\"", "\"file\":\"file-1\""}},
        {"--csv " + week,
         {"\r\nPC_INFO_261205143000.dat,2026-12-05 14:30:00,", "\r\nfile-1,日時不明,"}},
        {"--html " + week,
         {"<h2>file-1<span class=\"time\">収集日時 日時不明</span></h2>",
          ">PC_INFO_261205143000.dat</a>"}},
        {"--json " + week, {"{\"file\":\"file-1\""}},
        {week, {"==> PC_INFO_261205143000.dat <==", "==> file-1 <=="}},
        {"--diff --html " + pair, {"<td>PC_INFO_261201090000.dat</td>"}},
        {"--diff " + pair, {"--- PC_INFO_261201090000.dat\n+++ PC_INFO_261207101530.dat\n"}},
        {"--diff --json " + pair, {"\"old\":\"PC_INFO_261201090000.dat\""}},
        {"--summary --password-file wrong.txt 受付/suzuki.zip 受付/佐藤花子.dat", {"file-1"}},
        {"--summary 受付/ACME商事/missing.dat", {"file-1"}},
    };
    for (const auto& c : cases) {
        for (const char* mask : {"--mask ", "--mask-key-file key.txt "}) {
            int status = -1;
            const std::string out = Run(mask + c.args, &status);
            EXPECT_NE(status, -1);
            for (const auto& p : personal) {
                EXPECT_EQ(out.find(p), std::string::npos) << mask << c.args << ": " << p << "\n"
                                                          << out;
                EXPECT_EQ(err.find(p), std::string::npos) << mask << c.args << ": " << p << "\n"
                                                          << err;
            }
            for (const auto& s : c.shown) {
                EXPECT_NE((out + err).find(s), std::string::npos)
                    << mask << c.args << ": " << s << "\n"
                    << out << err;
            }
        }
    }
    // The key: from a file as given on the command line; never empty, an option or a file name.
    int status = -1;
    EXPECT_EQ(Run("--mask-key-file key.txt --csv " + week, &status),
              Run("--mask-key 'desk key 2026' --csv " + week, &status));
    for (const char* wrong :
         {"--mask-key '' 受付", "--mask-key pw.txt 受付", "--mask-key 受付 受付",
          "--mask-key --html 受付", "--mask-key-file missing.txt 受付",
          "--mask-key k --mask-key-file key.txt 受付"}) {
        EXPECT_EQ(Run(wrong, &status), "") << wrong;
        EXPECT_EQ(status, 2) << wrong;
        EXPECT_NE(err, "") << wrong;
    }
}

}  // namespace
}  // namespace qrx::test
