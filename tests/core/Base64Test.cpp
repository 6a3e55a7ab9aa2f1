#include <gtest/gtest.h>

#include "platform/AppError.h"
#include "platform/Base64.h"

namespace qrx {
namespace {

Bytes B(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(Base64, EncodesTheStandardVectorsWithoutLineBreaks) {
    EXPECT_EQ(Base64Encode(B("")), "");
    EXPECT_EQ(Base64Encode(B("f")), "Zg==");
    EXPECT_EQ(Base64Encode(B("fo")), "Zm8=");
    EXPECT_EQ(Base64Encode(B("foobar")), "Zm9vYmFy");
    EXPECT_EQ(Base64Encode(Bytes{0xFB, 0xFF, 0xBF}), "+/+/");
    EXPECT_EQ(Base64Encode(Bytes(16, 0)).size(), 24u);
    EXPECT_EQ(Base64Encode(Bytes(300, 7)).find('\n'), std::string::npos);
}

TEST(Base64, RoundTripsEveryLengthAndIgnoresWhitespaceInside) {
    Bytes data;
    for (int n = 0; n < 70; ++n) {
        EXPECT_EQ(Base64Decode(Base64Encode(data)), data) << n;
        data.push_back(static_cast<std::uint8_t>(n * 37));
    }
    EXPECT_EQ(Base64Decode("Zm9v\r\nYm Fy\t"), B("foobar"));
    // Whitespace anywhere, also inside the quanta that are decoded several at a time.
    const std::string text = Base64Encode(data);
    for (std::size_t at = 0; at < 40; ++at) {
        EXPECT_EQ(Base64Decode(text.substr(0, at) + " " + text.substr(at)), data) << at;
    }
}

TEST(Base64, RejectsForeignCharactersWrongLengthAndMisplacedPadding) {
    for (const char* bad : {"Zm9v!mFy", "Zm9", "Z===", "Zg=a", "Zg==Zg==", "=Zg=", "Zm9vY"}) {
        EXPECT_THROW(Base64Decode(bad), AppError) << bad;
    }
    for (std::size_t at = 0; at < 24; ++at) {
        std::string text = "Zm9vYmFyZm9vYmFyZm9vYmFy";
        text[at] = at % 2 == 0 ? '!' : '\xC1';
        EXPECT_THROW(Base64Decode(text), AppError) << at;
    }
}

}  // namespace
}  // namespace qrx
