#pragma once

// The support decoder over a platform's real providers, the same cases on every platform; a
// platform's test program instantiates it over a type with `crypto` and `codec` members.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>

#include "cipher/clsCipher.h"
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
        bool Read(char* buffer, std::size_t capacity, std::size_t& got, std::string&) override {
            got = std::min({capacity, data.size() - at, std::size_t{7}});
            std::copy_n(data.data() + at, got, buffer);
            at += got;
            return true;
        }
    };
    struct MemoryOutput : IByteOutput {
        std::string text;
        bool Write(const char* data, std::size_t size, std::string&) override {
            text.append(data, size);
            return true;
        }
    };
    int Run(const std::string& input, std::vector<std::string> args = {},
            std::map<std::string, std::string> files = {}) {
        files["-"] = input;
        MemoryOutput o;
        std::ostringstream e;
        const int rc = RunDecoder(
            args, real.crypto, real.codec,
            [&](const std::string& path, std::string& error) -> std::unique_ptr<IByteInput> {
                auto it = files.find(path);
                if (it == files.end()) {
                    error = "開けません: No such file or directory";
                    return nullptr;
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
    for (const auto& r : kRecordLines) {
        file += std::string(r.line) + "\r\n";
        // "x" decrypts, but no record of the program looks like that.
        expected += std::string(r.record) == "x" ? "" : std::string(r.record) + "\n";
    }
    EXPECT_EQ(this->Run(file), 1);
    EXPECT_EQ(this->out, expected);
    EXPECT_EQ(this->err, "(標準入力):4: 復号結果がレコードの形をしていません\n");
}

TYPED_TEST_P(DecoderContract, BadLinesAreReportedWithTheirNumberAndTheRestGoesOn) {
    const std::string good = this->Line("Name\tx");
    const std::string wrongKey = "lxFagE069TXJVidZBr4Iq0xgIkOSY3Uv0m3N69LU9/k3hJYB9DnbyJX/6qEfd2AA";
    const std::string input = good + "\r\nnot*base64\r\n" + wrongKey + "\r\n\r\nQUJD\r\n" + good +
                              "\r\nCaption\tplain record\r\n" + this->Line("NoSuchName\tx") +
                              "\r\n";
    EXPECT_EQ(this->Run(input), 1);
    EXPECT_EQ(this->out, "Name\tx\nName\tx\n(未暗号化) Caption\tplain record\n");
    EXPECT_NE(this->err.find("(標準入力):2: 暗号化されておらず"), std::string::npos) << this->err;
    EXPECT_NE(this->err.find("(標準入力):3: 復号できません: Number:="), std::string::npos)
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
              "\"instances\":[{\"Product\":\"plain\"}],\"unencrypted\":[\"Product\\tplain\"]}]}\n");
}

TYPED_TEST_P(DecoderContract, SeveralFilesUsageAndFileErrors) {
    const std::string x = this->Line("UUID\tx");
    EXPECT_EQ(this->Run("", {"a.dat", "b.dat"}, {{"a.dat", x}, {"b.dat", x + "\r\n"}}), 0);
    EXPECT_EQ(this->out, "==> a.dat <==\nUUID\tx\n==> b.dat <==\nUUID\tx\n");
    // A missing file and a bad line: the higher status wins.
    EXPECT_EQ(this->Run("", {"missing.dat", "bad.dat"}, {{"bad.dat", "QUJD\r\n"}}), 2);
    EXPECT_NE(this->err.find("missing.dat: 開けません"), std::string::npos) << this->err;
    EXPECT_NE(this->err.find("bad.dat:1:"), std::string::npos) << this->err;
    EXPECT_EQ(this->Run("", {"--bogus"}), 2);
    EXPECT_EQ(this->Run("", {"--help"}), 0);
    EXPECT_NE(this->out.find("--json"), std::string::npos);
    EXPECT_NE(this->out.find("終了コード"), std::string::npos);
}

REGISTER_TYPED_TEST_SUITE_P(DecoderContract, LinesFromEveryPlatformDecodeToTheirRecords,
                            BadLinesAreReportedWithTheirNumberAndTheRestGoesOn,
                            JsonGroupsClassesInstancesAndRepeatedProperties,
                            SeveralFilesUsageAndFileErrors);

}  // namespace
}  // namespace qrx::test
