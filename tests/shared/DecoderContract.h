#pragma once

// The support decoder over a platform's real providers, the same cases on every platform; a
// platform's test program instantiates it over a type with `crypto`, `codec` and `hash` members.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <sstream>

#include "cipher/clsCipher.h"
#include "platform/SystemFailure.h"
#include "tests/shared/CipherLines.h"
#include "tests/support/Fakes.h"
#include "tools/decode/Decoder.h"

namespace qrx::test {
namespace {

template <typename Platform>
struct DecoderContract : ::testing::Test {
    Platform real;
    FakeWindow window;
    std::string out;
    std::string err;

    std::string Line(const std::string& record) {
        clsCipher cipher(real.crypto, real.codec, window);
        return cipher.gfEncryptDecrypt(record, 0);
    }
    // Files in memory, handed out in pieces of 7 bytes to exercise the framing across reads.
    struct MemoryInput : IByteInput {
        std::string data;
        std::size_t at = 0;
        explicit MemoryInput(std::string d) : data(std::move(d)) {}
        Result<std::size_t> Read(char* buffer, std::size_t capacity) override {
            const std::size_t got = std::min({capacity, data.size() - at, std::size_t{7}});
            std::copy_n(data.data() + at, got, buffer);
            at += got;
            return got;
        }
    };
    struct MemoryOutput : IByteOutput {
        std::string text;
        Done Write(const char* data, std::size_t size) override {
            text.append(data, size);
            return {};
        }
    };
    int Run(const std::string& input, std::vector<std::string> args = {},
            std::map<std::string, std::string> files = {}) {
        files["-"] = input;
        MemoryOutput o;
        std::ostringstream e;
        const int rc = RunDecoder(
            args, real.crypto, real.codec, real.hash,
            [&](const std::string& path) -> Result<std::unique_ptr<IByteInput>> {
                auto it = files.find(path);
                if (it == files.end()) {
                    return FromErrno(ENOENT).In("開けません");
                }
                return std::make_unique<MemoryInput>(it->second);
            },
            o, e);
        out = o.text;
        err = e.str();
        return rc;
    }
};
TYPED_TEST_SUITE_P(DecoderContract);

TYPED_TEST_P(DecoderContract, LinesFromEveryPlatformDecodeToTheirRecords) {
    std::string file;
    std::string expected;
    std::string header;
    for (const auto& r : kRecordLines) {
        // The class header last: the other records belong to classes of their own.
        if (std::string(r.record).starts_with("---")) {
            header = r.line;
            continue;
        }
        file += std::string(r.line) + "\r\n";
        // "x" decrypts, but no record of the program looks like that.
        expected += std::string(r.record) == "x" ? "" : std::string(r.record) + "\n";
    }
    file += header + "\r\n";
    expected += "----------Win32_Processor----------\n";
    EXPECT_EQ(this->Run(file), 1);
    EXPECT_EQ(this->out, expected);
    EXPECT_EQ(this->err, "(標準入力):3: 復号結果がレコードの形をしていません\n");
}

TYPED_TEST_P(DecoderContract, BadLinesAreReportedWithTheirNumberAndTheRestGoesOn) {
    const std::string good = this->Line("Name\tx");
    const std::string wrongKey = "lxFagE069TXJVidZBr4Iq0xgIkOSY3Uv0m3N69LU9/k3hJYB9DnbyJX/6qEfd2AA";
    const std::string input = good + "\r\nnot*base64\r\n" + wrongKey + "\r\n\r\nQUJD\r\n" + good +
                              "\r\nCaption\tplain record\r\n" + this->Line("No such name\tx") +
                              "\r\n";
    EXPECT_EQ(this->Run(input), 1);
    EXPECT_EQ(this->out, "Name\tx\nName\tx\n(未暗号化) Caption\tplain record\n");
    EXPECT_NE(this->err.find("(標準入力):2: 暗号化されておらず"), std::string::npos) << this->err;
    EXPECT_NE(this->err.find("(標準入力):3: 復号できません: 鍵が合いません。"), std::string::npos)
        << this->err;
    EXPECT_NE(this->err.find("(標準入力):5: 復号できません"), std::string::npos) << this->err;
    EXPECT_NE(this->err.find("(標準入力):8: 復号結果がレコードの形をしていません"),
              std::string::npos)
        << this->err;
    EXPECT_EQ(std::count(this->err.begin(), this->err.end(), '\n'), 4);
    EXPECT_TRUE(this->window.messages.empty());
}

TYPED_TEST_P(DecoderContract, JsonGroupsClassesInstancesAndRepeatedProperties) {
    std::string file;
    for (const char* r : {"----------Win32_NetworkAdapterConfiguration----------",
                          "Caption\t[00000001] eth0", "IPAddress\t192.0.2.1", "IPAddress\tfe80::1",
                          "MACAddress\t00:11:22:33:44:55", "Caption\t[00000002] wlan0",
                          "MACAddress\t66:77:88:99:AA:BB", "----------Win32_BaseBoard----------"}) {
        file += this->Line(r) + "\r\n";
    }
    file += "Product\tplain\r\n";
    EXPECT_EQ(this->Run("", {"--json", "a.dat"}, {{"a.dat", file}}), 0);
    EXPECT_EQ(this->out,
              "{\"file\":\"a.dat\",\"classes\":[{\"class\":\"Win32_NetworkAdapterConfiguration\","
              "\"instances\":[{\"Caption\":\"[00000001] eth0\",\"IPAddress\":[\"192.0.2.1\","
              "\"fe80::1\"],\"MACAddress\":\"00:11:22:33:44:55\"},{\"Caption\":\"[00000002] "
              "wlan0\",\"MACAddress\":\"66:77:88:99:AA:BB\"}]},{\"class\":\"Win32_BaseBoard\","
              "\"instances\":[{\"Product\":\"plain\"}],\"unencrypted\":[\"Product\\tplain\"]}],"
              "\"errors\":[]}\n");
}

TYPED_TEST_P(DecoderContract, SeveralFilesUsageAndFileErrors) {
    const std::string x = this->Line("UUID\tx");
    EXPECT_EQ(this->Run("", {"a.dat", "b.dat"}, {{"a.dat", x}, {"b.dat", x + "\r\n"}}), 0);
    EXPECT_EQ(this->out, "==> a.dat <==\nUUID\tx\n==> b.dat <==\nUUID\tx\n");
    // A missing file and a file without any record: each said in one line.
    EXPECT_EQ(this->Run("", {"missing.dat", "bad.dat"}, {{"bad.dat", "QUJD\r\n"}}), 2);
    EXPECT_NE(this->err.find("missing.dat: 開けません"), std::string::npos) << this->err;
    EXPECT_NE(this->err.find("bad.dat: データファイルではありません\n"), std::string::npos)
        << this->err;
    EXPECT_EQ(this->Run("", {"--bogus"}), 2);
    EXPECT_EQ(this->Run("", {"--help"}), 0);
    EXPECT_NE(this->out.find("--json"), std::string::npos);
    EXPECT_NE(this->out.find("終了コード"), std::string::npos);
}

// Files re-saved by Notepad (UTF-8 with a byte order mark), redirected by PowerShell 5 (UTF-16
// with a byte order mark, either order) or joined by copy /b (a Ctrl-Z at the end) decode as
// the original; the first class header is not lost.
TYPED_TEST_P(DecoderContract, FilesReencodedOnTheirWayDecodeAsTheOriginal) {
    std::string original;
    for (const char* r : {"----------Win32_Processor----------", "Name\tIntel(R) Core(TM) i7",
                          "Description\tIntel64 Family 6"}) {
        original += this->Line(r) + "\r\n";
    }
    original += "ProcessorId\tテスト\r\n";  // a record stored without encryption
    const auto utf16 = [&](bool littleEndian) {
        std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
        for (std::size_t i = 0; i < original.size(); ++i) {
            const auto c = static_cast<unsigned char>(original[i]);
            char16_t u = c;
            if (c >= 0x80) {  // the three-byte UTF-8 of テスト
                u = static_cast<char16_t>((c & 0x0F) << 12 | (original[i + 1] & 0x3F) << 6 |
                                          (original[i + 2] & 0x3F));
                i += 2;
            }
            const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
            bytes += littleEndian ? std::string{lo, hi} : std::string{hi, lo};
        }
        return bytes;
    };
    ASSERT_EQ(this->Run(original, {"--json"}), 0) << this->err;
    const std::string expected = this->out;
    EXPECT_NE(expected.find("\"ProcessorId\":\"テスト\""), std::string::npos) << expected;
    const std::pair<const char*, std::string> cases[] = {
        {"UTF-8 BOM", "\xEF\xBB\xBF" + original},
        {"UTF-16 LE", utf16(true)},
        {"UTF-16 BE", utf16(false)},
        {"Ctrl-Z", original + "\x1A"},
        {"BOM and Ctrl-Z", "\xEF\xBB\xBF" + original + "\x1A"},
        {"UTF-16 LE and Ctrl-Z", utf16(true) + std::string("\x1A\0", 2)},
    };
    for (const auto& [what, file] : cases) {
        EXPECT_EQ(this->Run(file, {"--json"}), 0) << what << "\n" << this->err;
        EXPECT_EQ(this->out, expected) << what;
    }
}

TYPED_TEST_P(DecoderContract, PseudonymsComeFromThePlatformsHmacSha256) {
    const auto hex = [](const Digest& d) {
        std::string text;
        for (auto b : d) {
            text += "0123456789abcdef"[b >> 4];
            text += "0123456789abcdef"[b & 15];
        }
        return text;
    };
    // RFC 4231 cases 2 and 6 (a key longer than a block), and an empty key.
    EXPECT_EQ(hex(this->real.hash.HmacSha256("Jefe", "what do ya want for nothing?")),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(
        hex(this->real.hash.HmacSha256(std::string(131, '\xaa'),
                                       "Test Using Larger Than Block-Size Key - Hash Key First")),
        "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
    EXPECT_EQ(hex(this->real.hash.HmacSha256("", "")),
              "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
}

REGISTER_TYPED_TEST_SUITE_P(DecoderContract, LinesFromEveryPlatformDecodeToTheirRecords,
                            FilesReencodedOnTheirWayDecodeAsTheOriginal,
                            PseudonymsComeFromThePlatformsHmacSha256,
                            BadLinesAreReportedWithTheirNumberAndTheRestGoesOn,
                            JsonGroupsClassesInstancesAndRepeatedProperties,
                            SeveralFilesUsageAndFileErrors);

}  // namespace
}  // namespace qrx::test
