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
    int Run(const std::string& input, std::vector<std::string> args = {},
            std::map<std::string, std::string> files = {}) {
        std::istringstream in(input);
        std::ostringstream o;
        std::ostringstream e;
        const int rc = RunDecoder(args, real.crypto, real.codec, in, o, e,
                                  [&](const std::string& path) -> std::unique_ptr<std::istream> {
                                      auto it = files.find(path);
                                      if (it == files.end()) {
                                          return nullptr;
                                      }
                                      return std::make_unique<std::istringstream>(it->second);
                                  });
        out = o.str();
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
        expected += std::string(r.record) + "\n";
    }
    EXPECT_EQ(this->Run(file), 0);
    EXPECT_EQ(this->out, expected);
    EXPECT_EQ(this->err, "");
}

TYPED_TEST_P(DecoderContract, FramingBrokenLinesMissingFinalBreakAndEmptyLines) {
    const std::string a = this->Line("Name\tテスト \\ ～");
    const std::string b = this->Line("----------Win32_BaseBoard----------");
    const std::string broken = a.substr(0, 10) + "\n" + a.substr(10);
    EXPECT_EQ(this->Run("\r\n" + broken + "\r\n\r\n" + b), 0);
    EXPECT_EQ(this->out, "Name\tテスト \\ ～\n----------Win32_BaseBoard----------\n");
    EXPECT_EQ(this->Run(""), 0);
    EXPECT_EQ(this->out, "");
}

TYPED_TEST_P(DecoderContract, BadLinesAreReportedWithTheirNumberAndTheRestGoesOn) {
    const std::string good = this->Line("Name\tx");
    const std::string wrongKey = "lxFagE069TXJVidZBr4Iq0xgIkOSY3Uv0m3N69LU9/k3hJYB9DnbyJX/6qEfd2AA";
    const std::string input = good + "\r\nnot*base64\r\n" + wrongKey + "\r\nQUJD\r\n" + good +
                              "\r\nCaption\tplain record\r\n";
    EXPECT_EQ(this->Run(input), 1);
    EXPECT_EQ(this->out, "Name\tx\nName\tx\n(未暗号化) Caption\tplain record\n");
    EXPECT_NE(this->err.find("(標準入力):2: Base64"), std::string::npos) << this->err;
    EXPECT_NE(this->err.find("(標準入力):3: 復号できません: Number:="), std::string::npos)
        << this->err;
    EXPECT_NE(this->err.find("(標準入力):4: 復号できません"), std::string::npos) << this->err;
    EXPECT_EQ(std::count(this->err.begin(), this->err.end(), '\n'), 3);
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
    const std::string x = this->Line("x");
    EXPECT_EQ(this->Run("", {"a.dat", "b.dat"}, {{"a.dat", x}, {"b.dat", x + "\r\n"}}), 0);
    EXPECT_EQ(this->out, "==> a.dat <==\nx\n==> b.dat <==\nx\n");
    EXPECT_EQ(this->Run("", {"missing.dat"}), 2);
    EXPECT_NE(this->err.find("missing.dat"), std::string::npos);
    EXPECT_EQ(this->Run("", {"--bogus"}), 2);
    EXPECT_EQ(this->Run("", {"--help"}), 0);
    EXPECT_NE(this->out.find("--json"), std::string::npos);
}

REGISTER_TYPED_TEST_SUITE_P(DecoderContract, LinesFromEveryPlatformDecodeToTheirRecords,
                            FramingBrokenLinesMissingFinalBreakAndEmptyLines,
                            BadLinesAreReportedWithTheirNumberAndTheRestGoesOn,
                            JsonGroupsClassesInstancesAndRepeatedProperties,
                            SeveralFilesUsageAndFileErrors);

}  // namespace
}  // namespace qrx::test
