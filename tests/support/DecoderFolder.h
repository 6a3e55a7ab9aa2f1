#pragma once

// A temporary folder of data files encrypted with the real cipher, and the real decoder run in
// it as a process (QRX_DECODER is the path of the built binary).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cipher/clsCipher.h"
#include "platform/linux/IconvCodec.h"
#include "platform/linux/MbedTlsCrypto.h"
#include "tests/support/Fakes.h"
#include "tests/support/Processes.h"

namespace qrx::test {

struct DecoderFolder : ::testing::Test {
    std::filesystem::path dir;
    MbedTlsCrypto crypto;
    IconvCodec codec;
    FakeWindow window;
    std::string err;  // the standard error of the last Run

    // `pattern` names the folder, ending in "XXXXXX" (mkdtemp).
    explicit DecoderFolder(std::string pattern) { dir = mkdtemp(pattern.data()); }
    ~DecoderFolder() override { std::filesystem::remove_all(dir); }

    std::string Cipher(const std::string& record) {
        return clsCipher(crypto, codec, window).gfEncryptDecrypt(record, 0);
    }
    // The data file of `records`, as the program writes it.
    std::string Encrypted(const std::vector<std::string>& records) {
        std::string out;
        for (const auto& r : records) {
            out += Cipher(r) + "\r\n";
        }
        return out;
    }
    // Writes `bytes` to `name` in the folder and returns the file's path.
    std::string File(const std::string& name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }
    void Write(const std::string& name, const std::vector<std::string>& records,
               const std::string& tail = "") {
        File(name, Encrypted(records) + tail);
    }
    // Headless Chromium with its profile in the folder; its arguments follow.
    std::string Chromium() const {
        return "chromium --headless --no-sandbox --disable-gpu --user-data-dir=" +
               (dir / "profile").string() + " ";
    }
    // Runs the decoder in the folder; standard output is returned, standard error kept in `err`.
    std::string Run(const std::string& args, int* status) {
        std::string out;
        *status =
            RunShell("cd '" + dir.string() + "' && " QRX_DECODER " " + args + " 2>stderr.txt", out);
        std::ifstream e(dir / "stderr.txt");
        err.assign(std::istreambuf_iterator<char>(e), {});
        return out;
    }
};

}  // namespace qrx::test
