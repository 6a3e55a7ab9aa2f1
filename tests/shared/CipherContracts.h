#pragma once

// Contracts of the cipher's platform providers, the same cases on every platform. A platform's
// test program instantiates them over its real backends:
//   CryptoContract over the CryptoAPI provider, CodecContract over the text codec, and
//   CipherLinesContract over a type with `crypto` and `codec` members of the platform's own.

#include <gtest/gtest.h>

#include "cipher/clsCipher.h"
#include "tests/shared/CipherLines.h"
#include "tests/support/Fakes.h"

namespace qrx::test {
namespace {

Bytes Hex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

template <typename Provider>
struct CryptoContract : ::testing::Test {
    Provider crypto;
    FakeCodec codec;
    FakeWindow window;
    clsCipher cipher{crypto, codec, window};
};
TYPED_TEST_SUITE_P(CryptoContract);

// NIST SP 800-38A, F.2: CBC-AES128/192/256 over the four-block plaintext. PKCS#7 adds one
// block of padding after the vector's ciphertext.
TYPED_TEST_P(CryptoContract, NistCbcVectorsInBothDirections) {
    const Bytes iv = Hex("000102030405060708090a0b0c0d0e0f");
    const Bytes plain =
        Hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
            "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const struct {
        int bits;
        const char* key;
        const char* cipher;
    } vectors[] = {
        {128, "2b7e151628aed2a6abf7158809cf4f3c",
         "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
         "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
        {192, "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
         "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
         "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd"},
        {256, "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
         "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
         "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
    };
    for (const auto& v : vectors) {
        Bytes data = plain;
        this->cipher.encrypt(Hex(v.key), iv, data, v.bits);
        ASSERT_EQ(data.size(), 80u) << v.bits;
        EXPECT_EQ(Bytes(data.begin(), data.begin() + 64), Hex(v.cipher)) << v.bits;
        EXPECT_TRUE(this->cipher.decrypt(Hex(v.key), iv, data, v.bits));
        EXPECT_EQ(data, plain) << v.bits;
    }
    EXPECT_TRUE(this->window.messages.empty());
}

TYPED_TEST_P(CryptoContract, OutputLengthsAndEmptyPlaintext) {
    const Bytes key(16, 7);
    const Bytes iv(16, 9);
    for (std::size_t n : {1u, 15u, 16u, 17u}) {
        Bytes data(n, 'a');
        this->cipher.encrypt(key, iv, data, 128);
        EXPECT_EQ(data.size(), n < 16 ? 16u : 32u) << n;
        EXPECT_TRUE(this->cipher.decrypt(key, iv, data, 128));
        EXPECT_EQ(data, Bytes(n, 'a'));
    }
    // Empty data fails and stays empty; a block that is all padding decrypts to nothing.
    Bytes empty;
    EXPECT_THROW(this->cipher.encrypt(key, iv, empty, 128), AppError);
    EXPECT_TRUE(empty.empty());
    Bytes two(16, 'a');
    this->cipher.encrypt(key, iv, two, 128);
    const Bytes chained(two.begin(), two.begin() + 16);
    Bytes padding(two.begin() + 16, two.end());
    EXPECT_TRUE(this->cipher.decrypt(key, chained, padding, 128));
    EXPECT_TRUE(padding.empty());
}

TYPED_TEST_P(CryptoContract, PlatformFailuresCarryTheCodeStepAndText) {
    const Bytes key(16, 7);
    const Bytes iv(16, 9);
    Bytes data(16, 'a');
    this->cipher.encrypt(key, iv, data, 128);
    Bytes wrongKey(16, 8);
    Bytes kept = data;
    EXPECT_FALSE(this->cipher.decrypt(wrongKey, iv, kept, 128));
    EXPECT_EQ(kept, data);
    Bytes ragged(20, 1);
    EXPECT_FALSE(this->cipher.decrypt(key, iv, ragged, 128));
    ASSERT_EQ(this->window.messages.size(), 2u);
    for (const auto& m : this->window.messages) {
        EXPECT_EQ(m.style, 16);
        EXPECT_EQ(m.text.rfind(
                      "Number:=-2146893819, Source:=decrypt()->CryptDecrypt(), Description:=", 0),
                  0u)
            << m.text;
    }
    try {
        Bytes d{1};
        this->cipher.encrypt(Bytes(8, 1), iv, d, 64);
        FAIL() << "64-bit key accepted";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Source, "decrypt()->CryptImportKey()");
        EXPECT_LT(e.Number, 0);
    }
}

REGISTER_TYPED_TEST_SUITE_P(CryptoContract, NistCbcVectorsInBothDirections,
                            OutputLengthsAndEmptyPlaintext,
                            PlatformFailuresCarryTheCodeStepAndText);

template <typename Codec>
struct CodecContract : ::testing::Test {
    Codec backend;
};
TYPED_TEST_SUITE_P(CodecContract);

TYPED_TEST_P(CodecContract, CodePage932BytesOfMixedText) {
    ITextCodec& codec = this->backend;
    const Bytes bytes = codec.ToShiftJis("A\\～テ①髙字");
    EXPECT_EQ(bytes,
              (Bytes{0x41, 0x5C, 0x81, 0x60, 0x83, 0x65, 0x87, 0x40, 0xFB, 0xFC, 0x8E, 0x9A}));
    EXPECT_EQ(codec.FromShiftJis(bytes), "A\\～テ①髙字");
    EXPECT_EQ(codec.ToShiftJis("a😀b"), (Bytes{'a', '?', 'b'}));
    EXPECT_EQ(codec.FromShiftJis(Bytes{'a', 0x81, 0x7F, 'b', 0x81}),
              "a\xEF\xBF\xBD\x7F"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(codec.ToShiftJis(""), Bytes{});
    EXPECT_EQ(codec.FromShiftJis(Bytes{}), "");
}

REGISTER_TYPED_TEST_SUITE_P(CodecContract, CodePage932BytesOfMixedText);

template <typename Platform>
struct CipherLinesContract : ::testing::Test {
    Platform real;
    FakeWindow window;
    clsCipher cipher{real.crypto, real.codec, window};
};
TYPED_TEST_SUITE_P(CipherLinesContract);

TYPED_TEST_P(CipherLinesContract, RecordsGiveTheSameLinesOnEveryPlatform) {
    for (const auto& r : kRecordLines) {
        EXPECT_EQ(this->cipher.gfEncryptDecrypt(r.record, 0), r.line) << r.record;
        EXPECT_EQ(this->cipher.gfEncryptDecrypt(r.line, 1), r.record) << r.record;
    }
}

REGISTER_TYPED_TEST_SUITE_P(CipherLinesContract, RecordsGiveTheSameLinesOnEveryPlatform);

}  // namespace
}  // namespace qrx::test
