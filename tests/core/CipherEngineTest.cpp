#include <gtest/gtest.h>

#include "cipher/clsCipher.h"
#include "tests/support/Fakes.h"

namespace qrx::test {
namespace {

using Call = FaultyCrypto::Call;

const Bytes kKey(16, 0x11);
const Bytes kIv(16, 0x22);

struct Engine : ::testing::Test {
    ToyCrypto toy;
    FakeCodec codec;
    FakeWindow window;
    std::vector<std::string> diagnostics;
    clsCipher cipher{toy, codec, window,
                     [this](const std::string& d) { diagnostics.push_back(d); }};

    AppError EncryptError(clsCipher& c, Bytes key, Bytes iv, Bytes& data, int bits) {
        try {
            c.encrypt(key, iv, data, bits);
        } catch (const AppError& e) {
            return e;
        }
        ADD_FAILURE() << "encrypt did not fail";
        return AppError(0, "", "");
    }
};

TEST_F(Engine, LengthFailuresAreReportedKeyFirstWithTheirOwnTexts) {
    Bytes data{1, 2, 3};
    AppError e = EncryptError(cipher, Bytes(15, 1), Bytes(8, 1), data, 128);
    EXPECT_EQ(e.Number, -2147220990);
    EXPECT_EQ(e.Source, "decrypt()");
    EXPECT_EQ(e.Description, "鍵長が不正です: 15byte");
    e = EncryptError(cipher, {}, kIv, data, 128);
    EXPECT_EQ(e.Description, "鍵長が不正です: 0byte");
    e = EncryptError(cipher, kKey, Bytes(8, 1), data, 128);
    EXPECT_EQ(e.Number, -2147220989);
    EXPECT_EQ(e.Description, "IV長が不正です: 8byte");
    EXPECT_EQ(data, (Bytes{1, 2, 3}));
    EXPECT_TRUE(toy.calls.empty());
    // The expected key length rounds half to even: 132 bits want 16 bytes, 140 bits 18.
    e = EncryptError(cipher, Bytes(16, 1), kIv, data, 140);
    EXPECT_EQ(e.Description, "鍵長が不正です: 16byte");
}

TEST_F(Engine, UnknownKeySizeFailsAtTheImportWithThePlatformCode) {
    Bytes data{1};
    const AppError e = EncryptError(cipher, Bytes(8, 1), kIv, data, 64);
    EXPECT_EQ(e.Number, static_cast<std::int32_t>(ICryptoProvider::kNteBadAlgid));
    EXPECT_EQ(e.Source, "decrypt()->CryptImportKey()");
    EXPECT_EQ(toy.calls, (std::vector<std::string>{"acquire", "import", "release"}));
}

TEST_F(Engine, DecryptShowsEveryFailureInAnErrorBoxAndKeepsTheData) {
    Bytes data(20, 0);  // not a multiple of 16
    EXPECT_FALSE(cipher.decrypt(kKey, kIv, data, 128));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].style, 16);
    EXPECT_EQ(window.messages[0].text,
              "Number:=-2146893819, Source:=decrypt()->CryptDecrypt(), Description:=Bad Data.\r\n");
    EXPECT_EQ(data, Bytes(20, 0));

    // A code the system has no text for is still reported, with an empty description.
    toy.texts.clear();
    EXPECT_FALSE(cipher.decrypt(kKey, kIv, data, 128));
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[1].text,
              "Number:=-2146893819, Source:=decrypt()->CryptDecrypt(), Description:=");
    Bytes plain{'x'};
    toy.texts.clear();
    EXPECT_THROW(cipher.encrypt(Bytes(8, 1), kIv, plain, 64), AppError);
    EXPECT_EQ(plain, Bytes{'x'});
}

TEST_F(Engine, EachFailingCallGivesHandlesBackKeyFirstAndOnlyOnce) {
    struct Case {
        Call call;
        int nth;
        const char* source;
        std::vector<std::string> afterFailure;  // calls that reach the provider after it
        bool replaced;
    };
    const std::vector<Case> cases = {
        {Call::Acquire, 1, "decrypt()->CryptAcquireContext()", {}, false},
        {Call::Import, 1, "decrypt()->CryptImportKey()", {"release"}, false},
        {Call::SetParam,
         1,
         "decrypt()->CryptSetKeyParam():KP_PADDING",
         {"destroy", "release"},
         false},
        {Call::SetParam, 2, "decrypt()->CryptSetKeyParam():KP_IV", {"destroy", "release"}, false},
        {Call::SetParam, 3, "decrypt()->CryptSetKeyParam():KP_MODE", {"destroy", "release"}, false},
        {Call::Encrypt, 1, "decrypt()->CryptEncrypt()", {"destroy", "release"}, false},
        {Call::Encrypt, 2, "decrypt()->CryptEncrypt()", {"destroy", "release"}, false},
        {Call::Destroy, 1, "decrypt()->CryptDestroyKey()", {"release"}, true},
        {Call::Release, 1, "decrypt()->CryptReleaseContext()", {}, true},
    };
    for (const auto& c : cases) {
        ToyCrypto inner;
        FaultyCrypto faulty(inner, c.call, c.nth, 0x80090005);
        clsCipher engine(faulty, codec, window);
        Bytes data{'a', 'b', 'c'};
        const AppError e = EncryptError(engine, kKey, kIv, data, 128);
        EXPECT_EQ(e.Number, -2146893819) << c.source;
        EXPECT_EQ(e.Source, c.source);
        EXPECT_EQ(data.size() == 16, c.replaced) << c.source;
        EXPECT_EQ(
            std::vector<std::string>(faulty.log.begin() + faulty.failedAt + 1, faulty.log.end()),
            c.afterFailure)
            << c.source;
        EXPECT_TRUE(inner.keys.empty() && inner.contexts.empty()) << c.source;
    }
}

TEST_F(Engine, RoundTripsAndPadsToWholeBlocks) {
    for (std::size_t n : {1u, 15u, 16u, 17u}) {  // empty data fails (below)
        Bytes data(n, 0x41);
        cipher.encrypt(kKey, kIv, data, 128);
        EXPECT_EQ(data.size(), 16 * (n / 16 + 1)) << n;
        EXPECT_TRUE(cipher.decrypt(kKey, kIv, data, 128));
        EXPECT_EQ(data, Bytes(n, 0x41));
    }
    EXPECT_TRUE(toy.keys.empty() && toy.contexts.empty());
}

TEST_F(Engine, RecordCipherEdgeCases) {
    EXPECT_EQ(cipher.gfEncryptDecrypt("", 0), "");
    EXPECT_TRUE(toy.calls.empty());
    const std::string line = cipher.gfEncryptDecrypt("x", 0);
    EXPECT_EQ(line.size(), 24u);
    EXPECT_EQ(cipher.gfEncryptDecrypt(line, 1), "x");
    EXPECT_EQ(cipher.gfEncryptDecrypt("x", 0), line);
    // Short decrypt requests come back untouched; 15 characters are attempted.
    EXPECT_EQ(cipher.gfEncryptDecrypt("ABCDEFGHIJKLMN", 1), "ABCDEFGHIJKLMN");
    EXPECT_EQ(cipher.gfEncryptDecrypt("!!!!!!!!!!!!!!!", -1), "!!!!!!!!!!!!!!!");
    EXPECT_TRUE(window.messages.empty());
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].rfind("エラーコード: &H80070057\r\nソース: Base64\r\n", 0), 0u);
}

TEST_F(Engine, FailingEncryptionReturnsTheRecordItself) {
    ToyCrypto inner;
    FaultyCrypto faulty(inner, Call::Encrypt, 2, 0x80090005);
    clsCipher c(faulty, codec, window, [this](const std::string& d) { diagnostics.push_back(d); });
    EXPECT_EQ(c.gfEncryptDecrypt("Name\tvalue", 0), "Name\tvalue");
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0],
              "エラーコード: &H80090005\r\nソース: decrypt()->CryptEncrypt()\r\nBad Data.\r\n");
    EXPECT_TRUE(window.messages.empty());
}

// A record the codec cannot convert: stringToByte shows its box and gives no bytes; empty data
// is a failure of encrypt, so the line holds the record text, not an encrypted empty record.
TEST_F(Engine, EmptyDataFailsSoAnUnconvertibleRecordStaysText) {
    Bytes empty;
    EXPECT_EQ(EncryptError(cipher, kKey, kIv, empty, 128).Number, 9);
    EXPECT_TRUE(empty.empty());
    struct RecordFails : FakeCodec {
        Bytes ToShiftJis(const std::string& text) override {
            failToBytes = text.size() != 16;  // the key and the IV convert
            return FakeCodec::ToShiftJis(text);
        }
    } recordFails;
    clsCipher c(toy, recordFails, window);
    EXPECT_EQ(c.gfEncryptDecrypt("Caption\t\xF0\x9F\x98\x80", 0), "Caption\t\xF0\x9F\x98\x80");
    EXPECT_EQ(window.messages.size(), 1u);  // stringToByte's own box
}

TEST_F(Engine, CodecFailuresShowAPlainBoxAndGiveEmptyResults) {
    codec.failToBytes = true;
    EXPECT_TRUE(cipher.stringToByte("abc").empty());
    codec.failToText = true;
    EXPECT_EQ(cipher.byteToString(Bytes{1}), "");
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].style, 0);
    EXPECT_EQ(window.messages[0].text, "エラーコード:3004\r\n書き込みに失敗しました。");
    EXPECT_EQ(window.messages[1].text, "エラーコード:3001\r\n引数が無効です。");
}

TEST(KeyMaterial, KeyAndIvAreSixteenPrintableCharacters) {
    for (const std::string& s : {clsCipher::KeyText(), clsCipher::IvText()}) {
        ASSERT_EQ(s.size(), 16u);
        for (char c : s) {
            EXPECT_GE(c, 32);
            EXPECT_LT(c, 127);
        }
    }
    EXPECT_NE(clsCipher::KeyText(), clsCipher::IvText());
}

}  // namespace
}  // namespace qrx::test
