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
}

TEST(Base64, RejectsForeignCharactersWrongLengthAndMisplacedPadding) {
    for (const char* bad : {"Zm9v!mFy", "Zm9", "Z===", "Zg=a", "Zg==Zg==", "=Zg=", "Zm9vY"}) {
        EXPECT_THROW(Base64Decode(bad), AppError) << bad;
    }
}

}  // namespace
}  // namespace qrx
