// The support decoder as the support desk runs it: the real binary on files made here from one
// good data file, damaged the ways files get damaged in transfer, or crafted.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "platform/Base64.h"
#include "platform/RecordLimits.h"
#include "tests/support/DecoderFolder.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

// Records of every length class: padded with "=" and "==", whole 48-byte multiples without
// padding (64 and 128 Base64 characters), Japanese text, and lines of several hundred bytes.
const std::vector<std::string> kRecords = {
    "----------Win32_OperatingSystem----------",
    "Caption\tMicrosoft Windows 10 Pro テスト ～ ①髙",
    "Version\t" + std::string(88, 'v'),
    "----------Win32_Processor----------",
    "Name\tIntel(R) Core(TM) i7-7700 CPU @ 3.60GHz",
    "Description\t" + std::string(300, 'd'),
    "----------Win32_NetworkAdapterConfiguration----------",
    "IPAddress\tfe80::1",
    "----------Win32_ComputerSystemProduct----------",
    "UUID\t4C4C4544-0042-3510-8052-B4C04F4E5A31",
};

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct DecoderProcess : DecoderFolder {
    std::string good;      // the data file of kRecords
    std::string expected;  // what the decoder prints for it

    DecoderProcess() : DecoderFolder("/tmp/qrx-decode-XXXXXX") {
        good = Encrypted(kRecords);
        for (const auto& r : kRecords) {
            expected += r + "\n";
        }
    }
    // Runs the decoder with shell-quoted arguments; `to` replaces the output file, `before`
    // is a shell command run first (a limit).
    Result Decode(const std::string& args, const std::string& to = "",
                  const std::string& before = "") {
        const std::string out = to.empty() ? (dir / "out").string() : to;
        std::string none;  // standard output goes to `out`
        Result r;
        r.status = RunShell(
            before + QRX_DECODER " " + args + " >" + out + " 2>" + (dir / "err").string(), none);
        r.out = to.empty() ? Read(out) : "";
        r.err = Read(dir / "err");
        return r;
    }
};

// Each line cut into pieces of `width` characters, joined by `brk`.
std::string Wrap(const std::string& file, std::size_t width, const std::string& brk) {
    std::string out;
    std::istringstream in(file);
    for (std::string line; std::getline(in, line);) {
        line.pop_back();  // CR
        for (std::size_t i = 0; i < line.size(); i += width) {
            out += (i > 0 ? brk : "") + line.substr(i, width);
        }
        out += "\r\n";
    }
    return out;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) {
        s.replace(at, from.size(), to);
    }
    return s;
}

TEST_F(DecoderProcess, FilesDamagedInTransferDecodeToTheSameRecords) {
    const struct {
        const char* damage;
        std::function<std::string(const std::string&)> apply;
    } cases[] = {
        {"intact", [](const std::string& f) { return f; }},
        {"LF only", [](const std::string& f) { return Replace(f, "\r\n", "\n"); }},
        {"CR only", [](const std::string& f) { return Replace(f, "\r\n", "\r"); }},
        {"wrapped at 20, LF", [](const std::string& f) { return Wrap(f, 20, "\n"); }},
        {"wrapped at 76, CR LF", [](const std::string& f) { return Wrap(f, 76, "\r\n"); }},
        {"wrapped at 64, CR LF", [](const std::string& f) { return Wrap(f, 64, "\r\n"); }},
        {"folded, CR LF + TAB", [](const std::string& f) { return Wrap(f, 30, "\r\n\t"); }},
        {"folded, LF + space", [](const std::string& f) { return Wrap(f, 50, "\n "); }},
        {"wrapped at 20, all LF",
         [](const std::string& f) { return Replace(Wrap(f, 20, "\n"), "\r\n", "\n"); }},
    };
    for (const auto& c : cases) {
        const Result r = Decode(File("damaged.dat", c.apply(good)));
        EXPECT_EQ(r.status, 0) << c.damage << "\n" << r.err;
        EXPECT_EQ(r.out, expected) << c.damage;
        EXPECT_EQ(r.err, "") << c.damage;
    }
}

TEST_F(DecoderProcess, InputAndOutputErrorsGiveStatusTwoAndTheOtherFilesStillDecode) {
    const std::string dat = File("good.dat", good);
    fs::create_directory(dir / "folder");
    Result r = Decode((dir / "folder").string() + " " + dat + " /proc/self/mem " +
                      (dir / "missing.dat").string());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "==> " + dat + " <==\n" + expected);
    // A folder stands for the data files below it: none here.
    EXPECT_NE(r.err.find("/folder: データファイルがありません\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/proc/self/mem: 読み込めません: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/missing.dat: 開けません: ファイルがありません (ENOENT)\n"),
              std::string::npos)
        << r.err;

    // A missing file together with a bad line: the higher status.
    r = Decode(File("bad.dat", good + "QUJD\r\n") + " " + (dir / "missing.dat").string());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "==> " + (dir / "bad.dat").string() + " <==\n" + expected);

    // Output that fails in the middle of a long file: reading stops there, and the line that
    // was being read is not reported as broken.
    std::string many;
    for (int i = 0; i < 300; ++i) {
        many += good;
    }
    const std::string big = File("big.dat", many);
    for (const std::string& args :
         std::vector<std::string>{"", "--json", "--help", big, "--json " + big}) {
        r = Decode(args + " " + dat, "/dev/full");
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err,
                  "QRX_PC_INFO_DECODE: 出力を書き込めません: ディスクがいっぱいです (ENOSPC)\n")
            << args;
    }
}

TEST_F(DecoderProcess, WhatIsNotARecordIsNeverShownAsOne) {
    std::mt19937 random(9);
    std::string noise(1 << 20, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    // Base64 of whole 16-byte blocks: every line passes the framing and the Base64 decoder.
    std::string base64;
    for (int i = 0; i < 3000; ++i) {
        Bytes block(16 * (1 + i % 4));
        for (auto& b : block) {
            b = static_cast<std::uint8_t>(random());
        }
        base64 += Base64Encode(block) + "\r\n";
    }
    const std::string oneLine = base64.substr(0, base64.find('\n') + 1);
    // The commonest damage: one Base64 character changed in the middle of a good record. It
    // garbles a whole block, here into bytes that are no code page 932 text.
    std::string changed = Cipher(kRecords[1]);
    char& middle = changed[changed.size() / 2];
    middle = middle == 'A' ? 'B' : 'A';
    const struct {
        const char* what;
        std::string file;
    } cases[] = {
        {"random bytes", noise},
        {"random Base64 lines", base64},
        {"one random Base64 line", oneLine},
        {"binary with a TAB", "Caption\t\x01\x02\xff\xfe\r\n"},
        {"a plain line of an unknown name", "Owner\tsomeone\r\n"},
        {"a plain record with an escape", "Caption\tq\x1b[31mred\r\n"},
        {"a plain record with a C1 control",
         "Caption\tq\xc2\x9b"
         "31mred\r\n"},
        {"a record with one character changed", changed + "\r\n"},
        {"a header of no class", Cipher("----------Win32 Share----------") + "\r\n"},
    };
    for (const auto& c : cases) {
        const Result r = Decode(File("bad.dat", c.file));
        EXPECT_NE(r.status, 0) << c.what;
        EXPECT_EQ(r.out, "") << c.what;
        EXPECT_NE(r.err, "") << c.what;
    }
}

// Files that decode whole to exactly these lines: control characters of records shown escaped,
// unencrypted Japanese records in UTF-8 and code page 932, and the longest record the Linux
// program writes, encrypted or stored as plain text.
TEST_F(DecoderProcess, WholeFilesDecodeToExactlyTheirRecords) {
    const Bytes cp932 = codec.ToShiftJis("Name\t髙テスト ～ ①\\");
    const std::string longest = "Description\t" + std::string(kMaxStandInValueBytes, 'x');
    const std::string longLine = Cipher(longest);
    ASSERT_NE(longLine, longest);
    EXPECT_LE(longLine.size(), MaxDataLineBytes(kMaxStandInRecordBytes));
    const struct {
        const char* file;
        std::string bytes;
        std::string out;
    } cases[] = {
        {"crafted.dat",
         Cipher("Caption\tq\x1b[31mred\x07\x7f") + "\r\n" + Cipher("Name\ta\nb\rc") + "\r\n",
         "Caption\tq\\x1b[31mred\\x07\\x7f\nName\ta\\x0ab\\x0dc\n"},
        {"plain.dat",
         "Caption\tテスト ～ ① 日本語\r\n" + std::string(cp932.begin(), cp932.end()) + "\r\n",
         "(未暗号化) Caption\tテスト ～ ① 日本語\n(未暗号化) Name\t髙テスト ～ ①\\\n"},
        {"long.dat", longLine + "\r\n" + longest + "\r\n",
         longest + "\n(未暗号化) " + longest + "\n"},
    };
    for (const auto& c : cases) {
        const Result r = Decode(File(c.file, c.bytes));
        EXPECT_EQ(r.status, 0) << c.file << "\n" << r.err;
        EXPECT_EQ(r.out, c.out) << c.file;
    }
}

TEST_F(DecoderProcess, TooLongAndAmbiguousLinesAreReportedAndTheRestDecodes) {
    const std::string longLine(100000, 'A');
    const std::string header = Cipher(kRecords[3]);  // 64 characters, no padding
    const std::string next = Cipher(kRecords[4]);
    const Result r = Decode(
        File("odd.dat", header + "\r\n" + longLine + "\r\n" + header + "\r\n\t" + next + "\r\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kRecords[3] + "\n" + kRecords[3] + "\n" + kRecords[4] + "\n");
    EXPECT_NE(r.err.find("odd.dat:2: 行が長すぎます"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("odd.dat:4: 行の区切りがあいまいです"), std::string::npos) << r.err;
}

// A file of 100 MB of records (25 MB under ASan), where a real one has a few KB: text and JSON go
// through it in little memory; --html and --diff, which hold the records, stop at their limit
// with one message, within 256 MiB of address space.
TEST_F(DecoderProcess, LargeFilesStayWithinBoundedMemory) {
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer reserves terabytes of address space up front, and runs slower: no limit,
    // and a file still beyond the records' limit.
    const std::string limit;
    constexpr int kThousands = 400;
#else
    const std::string limit = "ulimit -v 262144 && ";
    constexpr int kThousands = 1500;
#endif
    const std::string header = Cipher(kRecords[3]) + "\r\n";
    const std::string record = Cipher(kRecords[4]) + "\r\n";
    {
        std::ofstream f(dir / "large.dat", std::ios::binary);
        f << header;
        const std::string block = [&] {
            std::string b;
            for (int i = 0; i < 1000; ++i) {
                b += record;
            }
            return b;
        }();
        for (int i = 0; i < kThousands; ++i) {
            f << block;
        }
    }
    const std::string large = (dir / "large.dat").string();
    for (const std::string& args : {"--html " + large, "--diff " + large + " " + large}) {
        const Result r = Decode(args, "", limit);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(
            r.err,
            "QRX_PC_INFO_DECODE: 記録が多すぎます: --diff と --html で扱えるのは全ファイルで "
            "64 MiB までです (1 回の収集は数 KB です)。ファイルごとに --json をお使いください\n")
            << args;
    }
    // Read up to the cap of a file, then refused with one line (the smaller file of a sanitizer
    // build stays below the cap).
    if (fs::file_size(large) <= 64u << 20) {
        return;
    }
    for (const std::string& args : {"--json " + large, large}) {
        const Result r = Decode(args, "/dev/null", limit);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
        EXPECT_EQ(
            r.err,
            large + ": 64 MiB を超えるため、それより先は読みません (データファイルは数 KB です)\n");
    }
}

}  // namespace
}  // namespace qrx::test
