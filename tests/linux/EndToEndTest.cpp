#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/Program.h"
#include "platform/linux/IconvCodec.h"
#include "platform/linux/LinuxSystem.h"
#include "platform/linux/MbedTlsCrypto.h"
#include "platform/linux/SysfsWmi.h"
#include "tests/support/Fakes.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

// The real files, cipher, code page and sysfs reader; only the window and the clock are fake.
TEST(EndToEnd, TheDataFileDecryptsToExactlyTheRecordsCollected) {
    char pattern[] = "/tmp/qrx-e2e-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    { std::ofstream(dir / "os-release") << "PRETTY_NAME=\"テスト OS ～ 1.0\"\n"; }
    fs::create_directories(dir / "root/etc");
    fs::rename(dir / "os-release", dir / "root/etc/os-release");

    FakeWindow window;
    FakeAppInfo app;
    app.folder = dir.string();
    FakeClock clock;
    PosixFileSystem files;
    MbedTlsCrypto crypto;
    IconvCodec codec;
    SysfsWmi::Seams seams;
    seams.interfaces = [] {
        return std::vector<NetInterface>{{"eth0", 2, false, {"192.0.2.1", "2001:db8::1"}}};
    };
    seams.machine = [] { return std::optional<std::string>(); };  // the tree has no machine
    SysfsWmi wmi((dir / "root").string(), seams);
    Program program({window, app, clock, files, crypto, codec, wmi});
    program.Start("DEBUG");
    window.events->OnButtonClicked(ButtonId::cmdRun);

    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[1].style, 64);
    std::ifstream data(dir / "PC_INFO_261206090507.dat", std::ios::binary);
    clsCipher cipher(crypto, codec, window);
    std::vector<std::string> records;
    std::string line;
    while (std::getline(data, line)) {
        line.pop_back();  // CR
        records.push_back(cipher.gfEncryptDecrypt(line, 1));
    }
    const std::vector<std::string> expected = {
        "----------Win32_NetworkAdapterConfiguration----------",
        "Caption\t[00000002] eth0",
        "IPAddress\t192.0.2.1",
        "IPAddress\t2001:db8::1",
        "----------Win32_NetworkAdapter----------",
        "Description\teth0",
        "Name\teth0",
        "----------Win32_Processor----------",
        "----------Win32_OperatingSystem----------",
        "Caption\tテスト OS ～ 1.0",
        "----------Win32_BaseBoard----------",
        "----------Win32_ComputerSystemProduct----------",
    };
    EXPECT_EQ(records, expected);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace qrx::test
