#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "collect/CollectionPlan.h"
#include "platform/AppError.h"
#include "platform/RecordLimits.h"
#include "platform/linux/SysfsWmi.h"
#include "platform/linux/facts/Files.h"
#include "platform/linux/facts/IdDatabases.h"
#include "tests/support/TempFolder.h"

namespace qrx::test {
namespace {

namespace fs = std::filesystem;

// A throw-away root folder holding the files a machine would have.
struct Tree : TempFolder {
    const fs::path& root = dir;
    void File(const std::string& rel, const std::string& text) { Write(rel, text); }
    void Link(const std::string& rel, const std::string& target) {
        fs::create_directories((root / rel).parent_path());
        fs::create_directory_symlink(target, root / rel);
    }
    void Dir(const std::string& rel) { fs::create_directories(root / rel); }
    // One-value files of a device folder, each with its newline.
    void Values(const std::string& device,
                std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values) {
            File(device + "/" + name, std::string(value) + "\n");
        }
    }
    // The device's links to its bus and, when it has one, its driver below sys/bus.
    void Device(const std::string& device, const std::string& bus, const std::string& driver = "") {
        std::string up;
        for (char c : device) {
            up += c == '/' ? "../" : "";
        }
        Link(device + "/subsystem", up + "bus/" + bus);
        if (!driver.empty()) {
            Link(device + "/driver", up + "bus/" + bus + "/drivers/" + driver);
        }
    }
    // A PCI function from its vendor, device, subsystem vendor, subsystem device and revision.
    void Pci(const std::string& device, const std::string& ids, const std::string& driver = "") {
        std::istringstream words(ids);
        for (const char* name :
             {"vendor", "device", "subsystem_vendor", "subsystem_device", "revision"}) {
            std::string value;
            words >> value;
            File(device + "/" + name, value + "\n");
        }
        Device(device, "pci", driver);
    }
    // An Ethernet interface of the device at `device` ("sys/devices/...").
    void Interface(const std::string& name, const std::string& device, const char* mac = nullptr) {
        File("sys/class/net/" + name + "/type", "1\n");
        if (mac != nullptr) {
            File("sys/class/net/" + name + "/address", std::string(mac) + "\n");
        }
        Link("sys/class/net/" + name + "/device", "../../../" + device.substr(4));
    }
    void CommonSystem() {
        File("proc/sys/kernel/arch", "x86_64\n");
        File("proc/sys/kernel/osrelease", "6.1.0-13-amd64\n");
        File("proc/sys/kernel/version", "#1 SMP PREEMPT_DYNAMIC Debian 6.1.55-1 (2023-09-29)\n");
        File("proc/sys/kernel/hostname", "pc-01\n");
        File("proc/meminfo", "MemTotal:       16314060 kB\nMemFree:  1 kB\n");
        File("etc/machine-id", "0123456789abcdef0123456789abcdef\n");
        Dir("sys/bus/pci/drivers/e1000e");
        Dir("sys/bus/usb/drivers/r8188eu");
        Dir("sys/bus/virtio/drivers/virtio_net");
    }
    // The common system with a desktop's Intel Ethernet, enp3s0 at PCI 03:00.0.
    void DesktopSystem() {
        CommonSystem();
        const std::string pci = "sys/devices/pci0000:00/0000:03:00.0";
        Pci(pci, "0x8086 0x15b8 0x1043 0x8672 0x10", "e1000e");
        Interface("enp3s0", pci, "04:d4:c4:aa:bb:cc");
    }
};

Variant Get(const SysfsWmi::Instance& i, const std::string& name) {
    return i.at(name);
}
std::string Text(const SysfsWmi::Instance& i, const std::string& name) {
    const Variant v = i.at(name);
    EXPECT_EQ(v.type, vt::BSTR) << name;
    return v.text;
}
bool IsNull(const SysfsWmi::Instance& i, const std::string& name) {
    return i.at(name).type == vt::NULL_;
}

// The fixture answers for the system: interfaces, CPUID, no hardware database, no uname.
SysfsWmi::Seams FixtureSeams(std::vector<NetInterface> nets) {
    SysfsWmi::Seams seams;
    seams.interfaces = [nets] { return nets; };
    seams.processorId = [] { return std::optional<std::string>("BFEBFBFF000906EA"); };
    seams.hwdb = [](const std::string&) { return HardwareNames{}; };
    seams.machine = [] { return std::optional<std::string>(); };
    return seams;
}

SysfsWmi Over(const Tree& t, std::vector<NetInterface> nets) {
    return SysfsWmi(t.root.string(), FixtureSeams(std::move(nets)));
}

TEST(SysfsWmi, PhysicalDesktopWithPciEthernetUsbWifiAndFullDmi) {
    Tree t;
    t.DesktopSystem();
    const std::string usb = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-4";
    t.Values(usb, {{"idVendor", "0bda"}, {"idProduct", "8179"}, {"serial", "00E04C0001"}});
    t.Device(usb + "/1-4:1.0", "usb", "r8188eu");
    t.Interface("wlx00e04c", usb + "/1-4:1.0", "00:e0:4c:00:00:01");
    t.File("sys/class/net/lo/type", "772\n");
    t.File("usr/share/misc/pci.ids",
           "# pci.ids\n8086  Intel Corporation\n\t1000  Other\n\t15b8  Ethernet Connection (2) "
           "I219-V\n\t\t1043 8672  Board\n8087  Intel Next\n");
    t.File("usr/share/misc/usb.ids",
           "0bda  Realtek Semiconductor Corp.\n\t8179  RTL8188EUS 802.11n Wireless Network "
           "Adapter\n");
    const std::string dmi = "sys/class/dmi/id/";
    t.File(dmi + "board_vendor", "ASUSTeK COMPUTER INC.\n");
    t.File(dmi + "board_name", "PRIME B250M-A\n");
    t.File(dmi + "board_version", "Rev X.0x\n");
    t.File(dmi + "board_serial", "170123456789\n");
    t.File(dmi + "sys_vendor", "System manufacturer\n");
    t.File(dmi + "product_name", "System Product Name\n");
    t.File(dmi + "product_uuid", "4c4c4544-0042-3510-8051-b4c04f4e3332\n");
    t.File("etc/os-release",
           "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 \\\"bookworm\\\"\"\n");
    t.File("etc/default/locale", "#  File generated by update-locale\nLANG=\"ja_JP.UTF-8\"\n");
    t.File("proc/cpuinfo",
           "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n"
           "model name\t:   Intel(R) Core(TM) i7-7700 CPU @ 3.60GHz  \nstepping\t: 9\n"
           "physical id\t: 0\n\nprocessor\t: 1\nvendor_id\t: GenuineIntel\ncpu family\t: 6\n"
           "model\t\t: 158\nmodel name\t: Intel(R) Core(TM) i7-7700 CPU @ 3.60GHz\n"
           "stepping\t: 9\nphysical id\t: 0\n");

    SysfsWmi wmi = Over(t, {{"lo", 1, true, {"127.0.0.1"}},
                            {"wlx00e04c", 3, false, {}},
                            {"enp3s0", 2, false, {"192.168.1.10", "fe80::1"}}});

    const auto configs = wmi.Instances("Win32_NetworkAdapterConfiguration");
    ASSERT_EQ(configs.size(), 2u);
    EXPECT_EQ(Text(configs[0], "Caption"), "[00000002] Ethernet Connection (2) I219-V");
    const Variant ips = Get(configs[0], "IPAddress");
    ASSERT_EQ(ips.type, vt::ARRAY_VARIANT);
    ASSERT_EQ(ips.elements.size(), 2u);
    EXPECT_EQ(ips.elements[1].text, "fe80::1");
    EXPECT_EQ(Text(configs[0], "MACAddress"), "04:D4:C4:AA:BB:CC");
    EXPECT_TRUE(IsNull(configs[1], "IPAddress"));

    const auto adapters = wmi.Instances("win32_networkadapter");
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(Text(adapters[0], "Manufacturer"), "Intel Corporation");
    EXPECT_EQ(Text(adapters[0], "AdapterType"), "Ethernet 802.3");
    EXPECT_EQ(Text(adapters[0], "Name"), "enp3s0");
    EXPECT_EQ(Text(adapters[0], "PNPDeviceID"),
              "PCI\\VEN_8086&DEV_15B8&SUBSYS_86721043&REV_10\\0000:03:00.0");
    EXPECT_TRUE(Get(adapters[0], "PhysicalAdapter").boolean);
    EXPECT_EQ(Text(adapters[1], "Description"), "RTL8188EUS 802.11n Wireless Network Adapter");
    EXPECT_EQ(Text(adapters[1], "PNPDeviceID"), "USB\\VID_0BDA&PID_8179\\00E04C0001");

    const auto cpus = wmi.Instances("Win32_Processor");
    ASSERT_EQ(cpus.size(), 1u);
    EXPECT_EQ(Text(cpus[0], "Name"), "Intel(R) Core(TM) i7-7700 CPU @ 3.60GHz");
    EXPECT_EQ(Text(cpus[0], "Description"), "Intel64 Family 6 Model 158 Stepping 9");
    EXPECT_EQ(Text(cpus[0], "ProcessorId"), "BFEBFBFF000906EA");

    const auto os = wmi.Instances("Win32_OperatingSystem").at(0);
    EXPECT_EQ(Text(os, "Caption"), "Debian GNU/Linux 12 \"bookworm\"");
    EXPECT_EQ(Text(os, "OSArchitecture"), "64-bit");
    EXPECT_EQ(Text(os, "Version"), "6.1.0-13-amd64");
    EXPECT_EQ(Get(os, "OSLanguage").type, vt::I4);
    EXPECT_EQ(Get(os, "OSLanguage").integer, 1041);
    EXPECT_EQ(Text(os, "CountryCode"), "81");
    EXPECT_EQ(Text(os, "Locale"), "0411");
    EXPECT_EQ(Text(os, "CSName"), "pc-01");
    EXPECT_EQ(Text(os, "TotalVisibleMemorySize"), "16314060");

    const auto board = wmi.Instances("Win32_BaseBoard").at(0);
    EXPECT_EQ(Text(board, "Product"), "PRIME B250M-A");
    EXPECT_EQ(Text(board, "SerialNumber"), "170123456789");
    const auto product = wmi.Instances("Win32_ComputerSystemProduct").at(0);
    EXPECT_EQ(Text(product, "UUID"), "4C4C4544-0042-3510-8051-B4C04F4E3332");
}

TEST(SysfsWmi, VirtualMachineWithVirtioAndPlaceholderFirmwareStrings) {
    Tree t;
    t.CommonSystem();
    // virtio-pci: the network device sits on the virtio bus below a PCI function, which names it.
    const std::string pci = "sys/devices/pci0000:00/0000:00:03.0";
    t.Pci(pci, "0x1af4 0x1041 0x1af4 0x1100 0x01");
    t.Values(pci + "/virtio2", {{"vendor", "0x1af4"}, {"device", "0x0001"}});
    t.Device(pci + "/virtio2", "virtio", "virtio_net");
    t.Interface("ens3", pci + "/virtio2", "52:54:00:12:34:56");
    // virtio-mmio: no PCI or USB device above, so the virtio device itself is described.
    const std::string mmio = "sys/devices/platform/a003e00.virtio_mmio/virtio0";
    t.Values(mmio, {{"vendor", "0x554d4551"}, {"device", "0x0001"}});
    t.Device(mmio, "virtio", "virtio_net");
    t.Interface("eth1", mmio);
    t.File("usr/share/misc/pci.ids",
           "1af4  Red Hat, Inc.\n\t1000  Virtio network device\n\t1041  Virtio 1.0 network "
           "device\n1af5  Next\n");
    const std::string dmi = "sys/class/dmi/id/";
    t.File(dmi + "board_vendor", "To be filled by O.E.M.\n");
    t.File(dmi + "board_version", std::string("pc-i440fx-\xff\xfe 7.2\n"));
    t.Dir(dmi + "board_serial");  // stands for a file only root may read
    t.File(dmi + "sys_vendor", "QEMU\n");
    t.File(dmi + "product_name", "Standard PC (i440FX + PIIX, 1996)\n");
    t.File("usr/lib/os-release", "PRETTY_NAME='Ubuntu 24.04 LTS'\n");
    t.File("etc/locale.conf", "LANG=C.UTF-8\n");

    SysfsWmi wmi = Over(t, {{"ens3", 2, false, {"10.0.2.15"}}, {"eth1", 3, false, {}}});
    const auto adapters = wmi.Instances("Win32_NetworkAdapter");
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(Text(adapters[0], "Description"), "Virtio 1.0 network device");
    EXPECT_EQ(Text(adapters[0], "Manufacturer"), "Red Hat, Inc.");
    EXPECT_EQ(Text(adapters[0], "PNPDeviceID"),
              "PCI\\VEN_1AF4&DEV_1041&SUBSYS_11001AF4&REV_01\\0000:00:03.0");
    EXPECT_EQ(Text(wmi.Instances("Win32_NetworkAdapterConfiguration").at(0), "Caption"),
              "[00000002] Virtio 1.0 network device");
    EXPECT_EQ(Text(adapters[1], "Description"), "virtio_net");
    EXPECT_TRUE(IsNull(adapters[1], "Manufacturer"));
    EXPECT_EQ(Text(adapters[1], "PNPDeviceID"), "VIRTIO\\VEN_554D4551&DEV_0001\\virtio0");

    const auto board = wmi.Instances("Win32_BaseBoard").at(0);
    EXPECT_EQ(Text(board, "Manufacturer"), "To be filled by O.E.M.");
    EXPECT_EQ(Text(board, "Version"), "pc-i440fx-\xEF\xBF\xBD\xEF\xBF\xBD 7.2");
    EXPECT_TRUE(IsNull(board, "SerialNumber"));
    EXPECT_TRUE(IsNull(board, "Product"));
    EXPECT_TRUE(IsNull(wmi.Instances("Win32_ComputerSystemProduct").at(0), "UUID"));

    const auto os = wmi.Instances("Win32_OperatingSystem").at(0);
    EXPECT_EQ(Text(os, "Caption"), "Ubuntu 24.04 LTS");
    EXPECT_TRUE(IsNull(os, "Locale"));
    EXPECT_TRUE(IsNull(os, "OSLanguage"));
}

TEST(SysfsWmi, ContainerWithoutDmiAndWithAVethInterface) {
    Tree t;
    t.File("sys/class/net/eth0/type", "1\n");
    t.File("sys/class/net/eth0/address", "00:00:00:00:00:00\n");
    t.File("proc/cpuinfo",
           "processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 23\nmodel\t\t: 49\n"
           "model name\t: AMD EPYC 7742 64-Core Processor\nstepping\t: 0\nphysical id\t: 1\n\n"
           "processor\t: 1\nvendor_id\t: AuthenticAMD\ncpu family\t: 23\nmodel\t\t: 49\n"
           "model name\t: AMD EPYC 7742 64-Core Processor\nstepping\t: 0\nphysical id\t: 0\n");
    t.File("proc/sys/kernel/arch", "x86_64\n");

    SysfsWmi wmi = Over(t, {{"eth0", 7, false, {"172.17.0.2"}}});
    const auto adapter = wmi.Instances("Win32_NetworkAdapter").at(0);
    EXPECT_EQ(Text(adapter, "Description"), "eth0");
    EXPECT_FALSE(Get(adapter, "PhysicalAdapter").boolean);
    EXPECT_TRUE(IsNull(adapter, "PNPDeviceID"));
    EXPECT_TRUE(IsNull(wmi.Instances("Win32_NetworkAdapterConfiguration").at(0), "MACAddress"));

    const auto cpus = wmi.Instances("Win32_Processor");
    ASSERT_EQ(cpus.size(), 2u);
    EXPECT_EQ(Text(cpus[0], "Description"), "AMD64 Family 23 Model 49 Stepping 0");

    ASSERT_EQ(wmi.Instances("Win32_BaseBoard").size(), 1u);
    EXPECT_TRUE(IsNull(wmi.Instances("Win32_BaseBoard")[0], "Manufacturer"));
    const auto os = wmi.Instances("Win32_OperatingSystem").at(0);
    EXPECT_TRUE(IsNull(os, "Caption"));
    EXPECT_TRUE(IsNull(os, "TotalVisibleMemorySize"));
}

// A file bind-mounted over a DMI value, an endless name in pci.ids: what is read stops at a
// bound, and no value is longer than the decoder is sure to accept, cut at a character's start.
TEST(SysfsWmi, LongSystemFilesGiveValuesCutAtTheBound) {
    Tree t;
    t.DesktopSystem();
    t.File("usr/share/misc/pci.ids", "8086  Intel\n\t15b8  " + std::string(200000, 'n') + "\n");
    std::string huge = "A";
    while (huge.size() < (1u << 20)) {
        huge += "日本";  // three bytes each: the bound falls inside a character
    }
    t.File("sys/class/dmi/id/board_name", huge + "\n");
    SysfsWmi wmi = Over(t, {{"enp3s0", 2, false, {}}});
    const struct {
        std::string value;
        std::string prefix;
    } cases[] = {
        {Text(wmi.Instances("Win32_BaseBoard").at(0), "Product"), "A日本"},
        {Text(wmi.Instances("Win32_NetworkAdapter").at(0), "Description"), "nnn"},
        {Text(wmi.Instances("Win32_NetworkAdapterConfiguration").at(0), "Caption"),
         "[00000002] nnn"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prefix);
        EXPECT_LE(c.value.size(), kMaxStandInValueBytes);
        EXPECT_GT(c.value.size(), kMaxStandInValueBytes - 3);
        EXPECT_TRUE(c.value.starts_with(c.prefix));
        EXPECT_EQ(SanitizeUtf8(c.value), c.value);  // no character cut in two
    }
}

TEST(SysfsWmi, UnknownClassFailsWhenEnumerationBeginsAndUnknownPropertyAtLookup) {
    Tree t;
    SysfsWmi wmi = Over(t, {});
    auto services = wmi.Bind("winmgmts:");
    auto set = services->ExecQuery("SELECT * FROM Win32_Nothing");
    try {
        set->Next();
        FAIL();
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number, static_cast<std::int32_t>(WBEM_E_INVALID_CLASS));
    }
    auto board = services->ExecQuery("SELECT * FROM Win32_BaseBoard")->Next();
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(board->Property("Product").type, vt::NULL_);
    try {
        board->Property("Caption");
        FAIL();
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number, static_cast<std::int32_t>(WBEM_E_NOT_FOUND));
    }
}

TEST(SysfsWmi, TheHardwareDatabaseNamesWhatTheIdFilesLackAndUnameGivesTheMachine) {
    Tree t;
    const std::string pci = "sys/devices/pci0000:00/0000:00:19.0";
    t.Values(pci, {{"vendor", "0x8086"},
                   {"device", "0x15b8"},
                   {"modalias", "pci:v00008086d000015B8sv00001043sd00008672bc02sc00i00"}});
    t.Device(pci, "pci");
    t.Dir("sys/bus/pci");
    t.Interface("eno1", pci);
    t.File("proc/cpuinfo",
           "processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 25\n"
           "model\t\t: 33\nstepping\t: 0\n");

    SysfsWmi::Seams seams = FixtureSeams({{"eno1", 2, false, {}}});
    std::vector<std::string> asked;
    seams.hwdb = [&asked](const std::string& modalias) {
        asked.push_back(modalias);
        return HardwareNames{"Intel Corporation", "Ethernet Connection I219-V"};
    };
    seams.machine = [] { return std::optional<std::string>("x86_64"); };
    SysfsWmi wmi(t.root.string(), seams);

    const auto adapter = wmi.Instances("Win32_NetworkAdapter").at(0);
    EXPECT_EQ(Text(adapter, "Description"), "Ethernet Connection I219-V");
    EXPECT_EQ(Text(adapter, "Manufacturer"), "Intel Corporation");
    EXPECT_EQ(asked,
              std::vector<std::string>{"pci:v00008086d000015B8sv00001043sd00008672bc02sc00i00"});
    EXPECT_EQ(Text(wmi.Instances("Win32_OperatingSystem").at(0), "OSArchitecture"), "64-bit");
    const auto cpu = wmi.Instances("Win32_Processor").at(0);
    EXPECT_EQ(Text(cpu, "Description"), "AMD64 Family 25 Model 33 Stepping 0");
    EXPECT_EQ(Text(cpu, "ProcessorId"), "BFEBFBFF000906EA");
}

// Every property of the plan has its source, or is marked as only Windows', and the running
// system gives each in the type Windows hands it, or null.
TEST(SysfsWmi, EveryPropertyOfThePlanHasASourceOfItsType) {
    SysfsWmi wmi;
    for (const auto& c : CollectionPlan()) {
        const auto instances = wmi.Instances(std::string(c.name));
        for (const auto& p : c.properties) {
            SCOPED_TRACE(std::string(c.name) + "." + std::string(p.name));
            EXPECT_NE(SysfsWmi::SourceOf(c.name, p.name), SysfsWmi::Source::None);
            const int type[] = {vt::BSTR, vt::ARRAY_VARIANT, vt::BOOL, vt::I4};  // by WmiType
            for (const auto& i : instances) {
                const int got = i.at(std::string(p.name)).type;
                EXPECT_TRUE(got == type[static_cast<int>(p.type)] || got == vt::NULL_) << got;
            }
        }
    }
    EXPECT_EQ(wmi.Instances("Win32_OperatingSystem").size(), 1u);
}

// The vendor is found by bisection of the sorted file: every vendor of the system's own databases
// must be found with its name, and a file out of order still answers through a full search.
TEST(IdDatabases, EveryVendorIsFoundInTheSystemFilesAndInAFileOutOfOrder) {
    for (const char* file : {"/usr/share/misc/pci.ids", "/usr/share/misc/usb.ids"}) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            continue;  // usb.ids comes with usbutils, which a machine may lack
        }
        std::stringstream whole;
        whole << in.rdbuf();
        const std::string text = whole.str();
        std::istringstream lines(text);
        std::size_t vendors = 0;
        std::size_t at = 0;
        for (std::string line; std::getline(lines, line); at += line.size() + 1) {
            if (line.size() > 6 && line[4] == ' ' &&
                line.find_first_not_of("0123456789abcdef") == 4) {
                const auto id = static_cast<unsigned>(std::stoul(line.substr(0, 4), nullptr, 16));
                ASSERT_EQ(BisectVendor(text, id), at) << file << " " << line;
                ASSERT_EQ(LookUpIds(file, id, 0x10000).vendor.value_or("(none)"),
                          SanitizeUtf8(Trim(line.substr(5))))
                    << file << " " << line;
                ++vendors;
            }
        }
        EXPECT_GT(vendors, 1000u) << file;
    }

    Tree t;
    t.File("ids",
           "# out of order\n0002  Second\n\t0001  Second's one\n0001  First\n"
           "\t0002  First's two\n\t# a comment\n# a comment at the line's start\n"
           "\t0003  First's three\nC 00  A class\n"
           "\t0001  Not a vendor\n");
    const std::string ids = (t.root / "ids").string();
    struct Case {
        unsigned vendor, device;
        std::optional<std::string> vendorName, model;
    } cases[] = {
        {0x0002, 0x0001, "Second", "Second's one"},
        {0x0001, 0x0003, "First", "First's three"},
        {0x0001, 0x0001, "First", std::nullopt},  // a device of another vendor
        {0x0003, 0x0001, std::nullopt, std::nullopt},
        {0x10002, 0x0001, "Second", "Second's one"},  // only the low 16 bits count
    };
    for (const auto& c : cases) {
        const HardwareNames names = LookUpIds(ids, c.vendor, c.device);
        EXPECT_EQ(names.vendor, c.vendorName) << c.vendor;
        EXPECT_EQ(names.model, c.model) << c.vendor;
    }
}

}  // namespace
}  // namespace qrx::test
