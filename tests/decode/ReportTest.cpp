// The support desk's reports: placing records by the collection plan, matching, comparing,
// masking and HTML escaping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <sstream>

#include "tests/support/Tables.h"
#include "tools/decode/Options.h"
#include "tools/decode/formats/Html.h"
#include "tools/decode/formats/Readable.h"
#include "tools/decode/inputs/Inputs.h"
#include "tools/decode/records/Diff.h"
#include "tools/decode/records/Mask.h"
#include "tools/decode/records/RecordModel.h"
#ifdef _WIN32
#include "platform/windows/WinKeyedHash.h"
using PlatformKeyedHash = qrx::WinKeyedHash;
#else
#include "platform/linux/MbedTlsKeyedHash.h"
using PlatformKeyedHash = qrx::MbedTlsKeyedHash;
#endif

namespace qrx::test {
namespace {

PlatformKeyedHash hash;

// The records placed and built as the decoder does; what cannot be placed is a failure.
Collection Collect(const std::vector<std::string>& records, const std::string& file = "f") {
    Collection c;
    c.file = file;
    RecordPlacer placer;
    ClassBuilder builder(
        [&c](ClassRecords&& r, std::size_t) { c.classes.push_back(std::move(r)); });
    PlacedRecord placed;
    std::size_t line = 0;
    for (const auto& r : records) {
        ++line;
        if (r.starts_with("----------Win32_BIOS")) {
            placer.UnknownClass("Win32_BIOS");
            c.failures.push_back({line, "unknown class"});
        } else if (const Done done = placer.Place(r, false, line, placed); !done) {
            c.failures.push_back({line, done.failure().text});
        } else {
            builder.Add(placed);
        }
    }
    builder.Finish();
    return c;
}

// A class's instances as "Property=value,value;Property[]=value" lines ([] for an array).
std::vector<std::string> Shape(const ClassRecords& c) {
    std::vector<std::string> out;
    for (const auto& i : c.instances) {
        std::string line;
        for (const auto& p : i.properties) {
            line += (line.empty() ? "" : ";") + p.name + (p.multiValued ? "[]=" : "=");
            for (std::size_t v = 0; v < p.values.size(); ++v) {
                line += (v ? "," : "") + p.values[v];
            }
        }
        out.push_back(line);
    }
    return out;
}

TEST(Placing, InstancesFollowThePlanOfEachClass) {
    const std::string nic = "----------Win32_NetworkAdapterConfiguration----------";
    const std::string bb = "----------Win32_BaseBoard----------";
    struct Case {
        const char* what;
        std::vector<std::string> records;
        std::vector<std::string> shape;  // of the last class
        std::size_t failures = 0;
    };
    const Case cases[] = {
        {"adapters without address: a second Caption is a second adapter",
         {nic, "Caption\t[00000000] Kernel Debug", "Caption\t[00000001] WAN Miniport (SSTP)",
          "Caption\t[00000002] Intel", "IPAddress\t192.0.2.1", "IPAddress\tfe80::1",
          "MACAddress\t00:11:22:33:44:55", "Caption\t[00000003] WAN Miniport (IP)",
          "MACAddress\t50:50:54:50:30:30"},
         {"Caption=[00000000] Kernel Debug", "Caption=[00000001] WAN Miniport (SSTP)",
          "Caption=[00000002] Intel;IPAddress[]=192.0.2.1,fe80::1;MACAddress=00:11:22:33:44:55",
          "Caption=[00000003] WAN Miniport (IP);MACAddress=50:50:54:50:30:30"}},
        {"one address is still an array",
         {nic, "Caption\tA", "IPAddress\t192.0.2.1", "Caption\tB", "IPAddress\t192.0.2.2"},
         {"Caption=A;IPAddress[]=192.0.2.1", "Caption=B;IPAddress[]=192.0.2.2"}},
        {"a property that comes before the previous one's place begins an instance",
         {nic, "IPAddress\t192.0.2.1", "MACAddress\tM1", "IPAddress\t192.0.2.2"},
         {"IPAddress[]=192.0.2.1;MACAddress=M1", "IPAddress[]=192.0.2.2"}},
        {"the category command's extra SerialNumber, twice",
         {bb, "Manufacturer\tA", "Product\tP", "SerialNumber\tS1", "Product\tQ",
          "SerialNumber\tS2"},
         {"Manufacturer=A;Product=P;SerialNumber=S1", "Product=Q;SerialNumber=S2"}},
        {"a property that the class does not record, and a boolean, are not placed",
         {bb, "Product\tP", "Name\tx", "PhysicalAdapter\tTrue", "Version\t1"},
         {"Product=P;Version=1"},
         2},
        {"records after the header of a class the program does not write belong nowhere",
         {bb, "Product\tP", "----------Win32_BIOS----------", "Product\tafter-bios",
          "Manufacturer\tx", bb, "Product\tQ"},
         {"Product=Q"},
         3},
        {"before any header, by the names seen",
         {"Caption\tA", "IPAddress\t1", "IPAddress\t2", "Caption\tB"},
         {"Caption=A;IPAddress[]=1,2", "Caption=B"}},
    };
    for (const auto& c : cases) {
        const Collection got = Collect(c.records);
        ASSERT_FALSE(got.classes.empty()) << c.what;
        EXPECT_EQ(Shape(got.classes.back()), c.shape) << c.what;
        EXPECT_EQ(got.failures.size(), c.failures) << c.what;
    }
}

TEST(Placing, ALargeClassIsHandedOverInPartsThatBeginWithAnInstance) {
    std::vector<std::size_t> parts;
    ClassBuilder builder(
        [&](ClassRecords&& c, std::size_t) {
            EXPECT_EQ(c.name, "Win32_Processor");
            EXPECT_EQ(c.instances.front().properties.front().name, "Name");
            parts.push_back(c.instances.size());
        },
        4096);
    RecordPlacer placer;
    PlacedRecord placed;
    ASSERT_TRUE(placer.Place("----------Win32_Processor----------", false, 1, placed));
    builder.Add(placed);
    for (int i = 0; i < 1000; ++i) {
        for (const std::string r : {"Name\tcpu", "Description\td"}) {
            ASSERT_TRUE(placer.Place(r, false, 2, placed));
            builder.Add(placed);
        }
    }
    builder.Finish();
    EXPECT_GT(parts.size(), 2u);
    std::size_t total = 0;
    for (auto n : parts) {
        total += n;
    }
    EXPECT_EQ(total, 1000u);
}

// Instances of a Caption and, when not empty, a MACAddress.
std::vector<Instance> Adapters(const std::vector<std::pair<std::string, std::string>>& list) {
    std::vector<Instance> out;
    for (const auto& [caption, mac] : list) {
        Instance& i = out.emplace_back();
        i.properties.push_back({"Caption", {caption}});
        if (!mac.empty()) {
            i.properties.push_back({"MACAddress", {mac}});
        }
    }
    return out;
}

std::vector<const Instance*> Pointers(const std::vector<Instance>& instances) {
    std::vector<const Instance*> out;
    for (const auto& i : instances) {
        out.push_back(&i);
    }
    return out;
}

// The instances of one class in two files, as "Caption/MAC" pairs, and the pairs expected.
TEST(Matching, ByIdentityNotByPosition) {
    struct Case {
        const char* cls;
        std::vector<std::pair<std::string, std::string>> old, now;
        std::vector<std::string> expected;  // "old index>new index" or "-old" / "+new"
    };
    const std::string nic = "Win32_NetworkAdapterConfiguration";
    const Case cases[] = {
        // Indexes renumbered and the order changed: matched by Caption without its index.
        {nic.c_str(),
         {{"[00000001] A", "M1"}, {"[00000002] B", "M2"}},
         {{"[00000007] B", "M2"}, {"[00000003] A", "M1"}},
         {"1>0", "0>1"}},
        // The same adapter model twice, swapped: the MAC tells them apart.
        {nic.c_str(),
         {{"[1] X", "M1"}, {"[2] X", "M2"}},
         {{"[1] X", "M2"}, {"[2] X", "M1"}},
         {"1>0", "0>1"}},
        // A renamed adapter keeps its MAC; one is gone, one is new.
        {nic.c_str(),
         {{"[1] Old name", "M1"}, {"[2] VPN", ""}},
         {{"[1] New name", "M1"}, {"[3] Wi-Fi", "M3"}},
         {"0>0", "-1", "+1"}},
        // Single-instance classes pair by order.
        {"Win32_OperatingSystem", {{"a", ""}}, {{"b", ""}}, {"0>0"}},
        {"Win32_Processor", {{"a", ""}, {"b", ""}}, {{"c", ""}}, {"0>0", "-1"}},
    };
    for (const auto& c : cases) {
        const auto old = Adapters(c.old);
        const auto now = Adapters(c.now);
        std::vector<std::string> got;
        for (const auto& p : MatchInstances(c.cls, Pointers(old), Pointers(now))) {
            if (p.old && p.now) {
                got.push_back(std::to_string(p.old - old.data()) + ">" +
                              std::to_string(p.now - now.data()));
            } else if (p.old) {
                got.push_back("-" + std::to_string(p.old - old.data()));
            } else {
                got.push_back("+" + std::to_string(p.now - now.data()));
            }
        }
        std::sort(got.begin(), got.end());
        auto expected = c.expected;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(got, expected) << c.cls << " " << c.old.front().first;
    }
}

TEST(Matching, LabelsTellInstancesOfOneModelApart) {
    const auto old = Adapters({{"[00000001] X", "M1"},
                               {"[00000002] X", "M2"},
                               {"[00000003] Y", ""},
                               {"[00000004] Z", ""},
                               {"[00000005] Z", ""}});
    const auto now = Adapters({{"[00000009] X", "M1"}});
    std::vector<std::string> labels;
    for (const auto& p :
         MatchInstances("Win32_NetworkAdapterConfiguration", Pointers(old), Pointers(now))) {
        labels.push_back(p.label);
    }
    EXPECT_EQ(labels,
              (std::vector<std::string>{"X (M1)", "X (M2)", "Y", "[00000004] Z", "[00000005] Z"}));
}

TEST(Compare, ArraysAsSetsScalarsAsOldToNew) {
    const Collection old =
        Collect({"----------Win32_NetworkAdapterConfiguration----------", "Caption\t[1] eth0",
                 "IPAddress\t192.0.2.1", "IPAddress\tfe80::1", "MACAddress\t00:11:22:33:44:55",
                 "----------Win32_BaseBoard----------", "Product\tA"});
    const Collection reordered =
        Collect({"----------Win32_NetworkAdapterConfiguration----------", "Caption\t[1] eth0",
                 "IPAddress\tfe80::1", "IPAddress\t192.0.2.1", "MACAddress\t00:11:22:33:44:55",
                 "----------Win32_BaseBoard----------", "Product\tA"});
    EXPECT_TRUE(Compare(old, reordered).empty());
    EXPECT_TRUE(Compare(old, old).empty());

    // Renumbered, one address replaced, the MAC gone; the board changed; a class added.
    const Collection now = Collect(
        {"----------Win32_NetworkAdapterConfiguration----------", "Caption\t[7] eth0",
         "IPAddress\tfe80::1", "IPAddress\t192.0.2.9", "----------Win32_BaseBoard----------",
         "Product\tB", "Version\t1.0", "----------Win32_Processor----------"});
    const auto changes = Compare(old, now);
    ASSERT_EQ(changes.size(), 3u);
    using K = PropertyChange::Kind;
    const auto props = [](const InstanceChange& i) {
        std::vector<std::string> out;
        for (const auto& p : i.properties) {
            std::string line = std::string("+-~").substr(static_cast<int>(p.kind), 1) + p.name;
            for (const auto& v : p.removed) {
                line += " -" + v;
            }
            for (const auto& v : p.added) {
                line += " +" + v;
            }
            out.push_back(line);
        }
        return out;
    };
    ASSERT_EQ(changes[0].instances.size(), 1u);
    EXPECT_EQ(changes[0].instances[0].label, "eth0");
    EXPECT_EQ(props(changes[0].instances[0]),
              (std::vector<std::string>{"~IPAddress -192.0.2.1 +192.0.2.9",
                                        "-MACAddress -00:11:22:33:44:55"}));
    EXPECT_EQ(changes[1].instances[0].label, "#1");
    EXPECT_EQ(props(changes[1].instances[0]),
              (std::vector<std::string>{"~Product -A +B", "+Version +1.0"}));
    EXPECT_EQ(changes[2].name, "Win32_Processor");
    EXPECT_EQ(changes[2].kind, ClassChange::Kind::Added);
    (void)K::Added;
}

bool IsHexText(const std::string& s) {
    return s.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

TEST(Masking, PseudonymsKeepTheShapeAndTheKindOfAddress) {
    const Masker m("key", hash);
    struct Case {
        const char* property;
        const char* value;
        std::function<bool(const std::string&)> shape;
    };
    const auto v4In = [](unsigned first, unsigned secondLow, unsigned secondHigh) {
        return [=](const std::string& s) {
            unsigned char b[4];
            return ParseIpv4(s, b) && b[0] == first && b[1] >= secondLow && b[1] <= secondHigh;
        };
    };
    const auto v6 = [](std::function<bool(const unsigned char*)> test) {
        return [=](const std::string& s) {
            unsigned char b[16];
            return ParseIpv6(s, b) && test(b);
        };
    };
    const Case cases[] = {
        {"MACAddress", "00:1A:2B:3C:4D:5E",
         [](const std::string& s) {
             unsigned char b[6];
             return ParseMac(s, b) && s[2] == ':' && (b[0] & 3) == 2 && s == [&] {
                 std::string u = s;
                 for (auto& c : u)
                     c = static_cast<char>(std::toupper(c));
                 return u;
             }();
         }},
        {"MACAddress", "00-1a-2b-3c-4d-5e",
         [](const std::string& s) {
             unsigned char b[6];
             return ParseMac(s, b) && s[2] == '-' && s.find_first_of("ABCDEF") == std::string::npos;
         }},
        {"IPAddress", "10.1.2.3", v4In(10, 0, 255)},
        {"IPAddress", "172.20.1.1", v4In(172, 16, 31)},
        {"IPAddress", "192.168.1.10", v4In(192, 168, 168)},
        {"IPAddress", "127.0.0.1", v4In(127, 0, 255)},
        {"IPAddress", "169.254.7.7", v4In(169, 254, 254)},
        {"IPAddress", "203.0.113.5",
         [](const std::string& s) {
             unsigned char b[4];
             return ParseIpv4(s, b) && b[0] != 10 && b[0] != 127 && b[0] < 224 && b[0] > 0 &&
                    !(b[0] == 192 && b[1] == 168) && !(b[0] == 169 && b[1] == 254) &&
                    !(b[0] == 172 && b[1] >= 16 && b[1] <= 31);
         }},
        {"IPAddress", "fe80::1c2d:3e4f:5a6b:7c8d",
         v6([](const unsigned char* b) { return b[0] == 0xFE && b[1] == 0x80 && b[7] == 0; })},
        {"IPAddress", "fd12:3456:789a::1", v6([](const unsigned char* b) { return b[0] == 0xFD; })},
        {"IPAddress", "2001:db8::5", v6([](const unsigned char* b) { return (b[0] >> 5) == 1; })},
        {"IPAddress", "::ffff:192.168.0.1",
         [](const std::string& s) { return s.starts_with("::ffff:192.168."); }},
        {"IPAddress", "fe80::1%12", [](const std::string& s) { return s.ends_with("%12"); }},
        {"UUID", "4C4C4544-0051-3510-8052-B4C04F4B4E32",
         [](const std::string& s) {
             return s.size() == 36 && s[8] == '-' && s[23] == '-' &&
                    IsHexText(s.substr(0, 8) + s.substr(24)) &&
                    s.find_first_of("abcdef") == std::string::npos;
         }},
        {"SerialNumber", "AB12-cd34",
         [](const std::string& s) {
             return s.size() == 9 && std::isupper(s[0]) && std::isdigit(s[2]) && s[4] == '-' &&
                    std::islower(s[5]);
         }},
        {"CSName", "田中のPC",
         [](const std::string& s) { return s.size() == 3 * 3 + 2 && s.substr(9, 1) != "P"; }},
    };
    for (const auto& c : cases) {
        const std::string masked = m.Value(c.property, c.value);
        EXPECT_NE(masked, c.value) << c.value;
        EXPECT_TRUE(c.shape(masked)) << c.value << " -> " << masked;
        EXPECT_EQ(m.Value(c.property, c.value), masked) << "stable";
        EXPECT_NE(Masker("other key", hash).Value(c.property, c.value), masked) << "keyed";
    }
    // One address in two spellings is one pseudonym; values that say nothing stay.
    std::string spelled = m.Mac("00:1a:2b:3c:4d:5e");
    for (auto& c : spelled) {
        c = c == ':' ? '-' : static_cast<char>(std::toupper(c));
    }
    EXPECT_EQ(m.Mac("00-1A-2B-3C-4D-5E"), spelled);
    for (const char* same : {"0.0.0.0", "::1", "::"}) {
        EXPECT_EQ(m.Ip(same), same);
    }
    EXPECT_EQ(m.Value("MACAddress", ""), "");
}

TEST(Masking, NothingPersonalIsLeftAndFactsStay) {
    const Masker m("a fixed key, so that the check is the same on every run", hash);
    struct Case {
        const char* record;
        const char* secret;  // what must not survive; null: the record stays as it is
    };
    const Case cases[] = {
        {"----------Win32_OperatingSystem----------", nullptr},
        {"Caption\tMicrosoft Windows 11 Pro", nullptr},
        {"Name\tIntel(R) Core(TM) i7-8700", nullptr},
        {"PNPDeviceID\tPCI\\VEN_8086&DEV_15BB\\3&11583659&0&FE", nullptr},
        {"CSName\tTANAKA-PC", "TANAKA-PC"},
        {"SerialNumber\t00330-80000-00000-AA123", "00330-80000-00000-AA123"},
        {"MACAddress\t00:1A:2B:3C:4D:5E", "001A2B3C4D5E"},
        {"IPAddress\t192.168.1.10", "168.1.10"},
        {"IPAddress\t2001:db8:1234::42", "db8:1234::42"},
        {"UUID\t4C4C4544-0051-3510-8052-B4C04F4B4E32", "4C4C4544-0051-3510-8052-B4C04F4B4E32"},
        {"PNPDeviceID\tUSB\\VID_0BDA&PID_8153\\00E04C680123", "00E04C680123"},
        {"Description\tTAP 00-1A-2B-3C-4D-5E", "001A2B3C4D5E"},
    };
    const auto letters = [](std::string s) {
        std::erase_if(s, [](char c) { return c == ':' || c == '-' || c == '.'; });
        return s;
    };
    for (const auto& c : cases) {
        const std::string masked = m.Record(c.record);
        if (c.secret == nullptr) {
            EXPECT_EQ(masked, c.record);
            continue;
        }
        const std::string record = c.record;
        const auto tab = record.find('\t');
        EXPECT_EQ(masked.substr(0, tab + 1), record.substr(0, tab + 1));
        // No run of five characters of the secret survives, separators aside.
        const std::string secret = letters(c.secret);
        const std::string rest = letters(masked.substr(tab + 1));
        for (std::size_t i = 0; i + 5 <= secret.size(); ++i) {
            EXPECT_EQ(rest.find(secret.substr(i, 5)), std::string::npos)
                << c.record << " -> " << masked;
        }
    }
}

// Every notation of a MAC address the file holds reads as the MAC's own pseudonym in the same
// notation; the desk's words are one pseudonym in every width and case.
TEST(Masking, EveryNotationOfAMacAndEveryFormOfAWordGetOnePseudonym) {
    Masker m("a key", hash);
    m.Learn("MACAddress\tA0:36:9F:11:22:30");
    std::string p = m.Mac("A0:36:9F:11:22:30");
    std::erase(p, ':');
    std::string flipped = p, lower = p;
    flipped[1] = "0123456789ABCDEF"[HexValue(p[1]) ^ 2];
    std::transform(p.begin(), p.end(), lower.begin(), [](char c) { return std::tolower(c); });
    const std::pair<const char*, std::string> cases[] = {
        {"PCI\\VEN_8086&DEV_1521\\A0369FFFFF112230",
         "PCI\\VEN_8086&DEV_1521\\" + p.substr(0, 6) + "FFFF" + p.substr(6)},
        {"EUI A2369FFFFE112230", "EUI " + flipped.substr(0, 6) + "FFFE" + flipped.substr(6)},
        {"a036.9f11.2230", lower.substr(0, 4) + "." + lower.substr(4, 4) + "." + lower.substr(8)},
        {"a0-36-9f-11-22-30", m.Mac("a0-36-9f-11-22-30")},
        {"{00001115-0000-1000-8000-00805F9B34FB}", "{00001115-0000-1000-8000-00805F9B34FB}"},
    };
    for (const auto& [value, masked] : cases) {
        EXPECT_EQ(m.Value("Description", value), masked) << value;
    }
    unsigned char id[16];
    ASSERT_TRUE(ParseIpv6(m.Ip("fe80::a236:9fff:fe11:2230"), id));
    std::string interfaceId;
    for (int k = 8; k < 16; ++k) {
        interfaceId += {"0123456789ABCDEF"[id[k] >> 4], "0123456789ABCDEF"[id[k] & 15]};
    }
    EXPECT_EQ(interfaceId, flipped.substr(0, 6) + "FFFE" + flipped.substr(6));
    m.SetWords({"ガス山田"});
    const std::string word = m.Value("Name", "ガス山田");
    EXPECT_NE(word, "ガス山田");
    EXPECT_EQ(m.Value("Name", "ｶﾞｽ山田 商会"), word + " 商会");
}

// Identifiers inside values that are not themselves personal get the pseudonym of the value
// itself, in an honest shape; facts stay.
TEST(Masking, IdentifiersInsideOtherValues) {
    Masker m("a key", hash);
    m.Learn("CSName\tTANAKA-PC");
    m.Learn("SerialNumber\t00330-80000-00000-AA123");
    m.Learn("PNPDeviceID\tUSB\\VID_0BDA&PID_8153\\00E04C680123");
    const std::string mac = [&] {
        std::string s = m.Mac("8C:16:45:12:34:56");
        std::erase(s, ':');
        return s;
    }();
    const std::string host = m.Value("CSName", "TANAKA-PC");
    const std::string guid = m.Uuid("0000000f-0000-1000-8000-00805f9b34fb");
    struct Case {
        const char* record;
        std::string masked;  // exact; empty: see `check`
        std::function<bool(const std::string&)> check = nullptr;
    };
    const Case cases[] = {
        {"PNPDeviceID\tBTHENUM\\{0000000f-0000-1000-8000-00805f9b34fb}_VID&0001000f_PID&1200_"
         "REV&1101&0&8C1645123456_C00000000",
         "PNPDeviceID\tBTHENUM\\{" + guid + "}_VID&0001000f_PID&1200_REV&1101&0&" + mac +
             "_C00000000"},
        {"Description\tRemote NDIS on tanaka-pc", "Description\tRemote NDIS on " + host},
        {"Description\tOEM AA123 00330-80000-00000-aa123",
         "Description\tOEM AA123 " + m.Value("SerialNumber", "00330-80000-00000-AA123")},
        {"Description\tTAP 10.0.0.5/24, fe80::1c2d:3e4f:5a6b:7c8d%12.",
         "Description\tTAP " + m.Ip("10.0.0.5") + "/24, " + m.Ip("fe80::1c2d:3e4f:5a6b:7c8d") +
             "%12."},
        {"IPAddress\t192.168.10.23/24", "IPAddress\t" + m.Ip("192.168.10.23") + "/24"},
        {"UUID\t4c4c4544005135108052b4c04f4b4e32", "",
         [&](const std::string& r) {
             const std::string v = r.substr(5);
             std::string dashed = m.Uuid("4c4c4544-0051-3510-8052-b4c04f4b4e32");
             std::erase(dashed, '-');
             return v.size() == 32 && IsHexText(v) && v == dashed;
         }},
        {"Name\tUSB 00E04C680123 port", "Name\tUSB " + m.Text("text", "00E04C680123") + " port"},
        {"Version\t10.1.5.2", "Version\t10.1.5.2"},
        {"Name\tIntel(R) Ethernet Connection (7) I219-LM",
         "Name\tIntel(R) Ethernet Connection (7) I219-LM"},
        {"ProcessorId\tBFEBFBFF000906EA", "ProcessorId\tBFEBFBFF000906EA"},
        {"Caption\t[00000012] Bluetooth Device (Personal Area Network) 09:00:00",
         "Caption\t[00000012] Bluetooth Device (Personal Area Network) 09:00:00"},
        {"PNPDeviceID\tPCI\\VEN_8086&DEV_15BB&SUBSYS_86721043&REV_10\\3&11583659&0&FE",
         "PNPDeviceID\tPCI\\VEN_8086&DEV_15BB&SUBSYS_86721043&REV_10\\3&11583659&0&FE"},
    };
    for (const auto& c : cases) {
        const std::string masked = m.Record(c.record);
        if (c.check) {
            EXPECT_TRUE(c.check(masked)) << c.record << " -> " << masked;
        } else {
            EXPECT_EQ(masked, c.masked) << c.record;
        }
    }
    // Values of a line's full length made of address-like pieces are looked at in linear time;
    // only their ends can form an address.
    for (const char* piece : {"1.", "a:", "0-", "12:"}) {
        std::string value;
        while (value.size() < 60000) {
            value += piece;
        }
        const std::string masked = m.Value("Description", value);
        EXPECT_EQ(masked.substr(0, 59000), value.substr(0, 59000)) << piece;
    }
    m.ForgetLearned();
    EXPECT_EQ(m.Record("Description\tRemote NDIS on tanaka-pc"),
              "Description\tRemote NDIS on tanaka-pc");
}

TEST(Html, EscapingAndCollectionTime) {
    const std::pair<std::string, std::string> escapes[] = {
        {"<b>&amp;\"'</b>", "&lt;b&gt;&amp;amp;&quot;&#39;&lt;/b&gt;"},
        {"a\tb\x1b[31m", "a\tb\\x1b[31m"},
        {"テスト～", "テスト～"},
        {"\xff\xc3(\xed\xa0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xc2\x85", "\\u0085"},
    };
    ExpectEachRow(escapes, HtmlEscape);
    const std::pair<std::string, std::string> times[] = {
        {"/x/PC_INFO_261206090507.dat", "2026-12-06 09:05:07"},
        {"C:\\Tools\\PC_INFO_191231235959.dat", "2019-12-31 23:59:59"},
        {"PC_INFO_991230000000.dat", "1899-12-30 00:00:00 (収集の前に書かれた記録)"},
        {"PC_INFO_261306090507.dat", ""},
        {"PC_INFO_2612060905.dat", ""},
        {"PC_INFO_2612060905071.dat", ""},
        {"report.dat", ""},
        {"week.zip:PC_INFO_261206090507.dat", "2026-12-06 09:05:07"},
    };
    ExpectEachRow(times, CollectionTime);
}

// What a spreadsheet, a terminal and a person get: CSV fields, readable values, names of inputs.
TEST(DeskTexts, CsvFieldsReadableValuesAndInputNames) {
    const std::pair<std::string, std::string> fields[] = {
        {"Intel(R) I219-LM", "Intel(R) I219-LM"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"+1", "'+1"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\rx", "'\\x0dx"},
        {"a\nb\x1b", "a\\x0ab\\x1b"},
        {"\xff日本", "\xEF\xBF\xBD日本"},
        {"", ""},
    };
    ExpectEachRow(fields, Appended(AppendCsvField));
    const std::tuple<std::string, std::string, std::string> readable[] = {
        {"TotalVisibleMemorySize", "16647364", "15.9 GiB"},
        {"TotalVisibleMemorySize", "16x", ""},
        {"Locale", "0411", "日本語 (日本)"},
        {"Locale", "0409", "英語 (米国)"},
        {"Locale", "04111", ""},
        {"CountryCode", "81", "日本"},
        {"CountryCode", "999", ""},
        {"Caption", "0411", ""},
    };
    for (const auto& [property, value, name] : readable) {
        EXPECT_EQ(ReadableValue(property, value), name) << property << " " << value;
    }
    EXPECT_EQ(DisplayWidth("PC 日本語ｶﾅ"), 3u + 6u + 2u);
    EXPECT_EQ(Shortened("日本語", 7), "日本…");
    // Invisible characters that would reorder or hide what a reader sees are shown, in every
    // output; visible ones pass.
    const std::pair<std::string, std::string> invisible[] = {
        {"PC-\u202Egnp.exe", "PC-\\u202egnp.exe"},
        {"a\u2066b\u2069c\u200Fd", "a\\u2066b\\u2069c\\u200fd"},
        {"x\u200By\uFEFFz\u00ADw\u2028", "x\\u200by\\ufeffz\\u00adw\\u2028"},
        {"①～\u2010テスト", "①～\u2010テスト"},
    };
    ExpectEachRow(invisible, Escaped);
    ExpectEachRow(invisible, HtmlEscape);
    ExpectEachRow(invisible, Appended(AppendCsvField));
    for (const auto& [in, out] : invisible) {
        EXPECT_EQ(Appended(AppendJsonString)(in), "\"" + out + "\"") << in;
    }
    MaskedFileNames shown;  // Windows' copies keep their stamp; other suffixes may be personal
    EXPECT_EQ(shown("a/PC_INFO_1 - コピー (2).dat"), "PC_INFO_1 - コピー (2).dat");
    EXPECT_EQ(shown("a/PC_INFO_261201090000 - 山田 (2).dat"), "file-1");
    EXPECT_EQ(shown("PC_INFO_1 ().dat"), "file-2");
    EXPECT_TRUE(IsArchiveName("a/Week.ZIP"));
    EXPECT_TRUE(IsArchiveName("w.tar.gz"));
    EXPECT_FALSE(IsArchiveName("w.gz"));
}

}  // namespace
// Each row of the table is asked for by its options in either order (a repeat counts once), is
// in the usage, and options that no row takes together are refused by name.
TEST(DecoderOptions, FormatsAndTheirConflictsComeFromTheTable) {
    for (const FormatRow& row : FormatRows()) {
        std::vector<std::string> args = {"a.dat", "b.dat"};
        for (const std::string_view option : {row.flag, row.with, row.flag}) {
            if (!option.empty()) {
                args.insert(args.begin(), std::string(option));
            }
        }
        if (row.writesFile) {
            args[args.size() - 3] = "out.file";  // the repeated flag's place
        }
        const Result<DecoderOptions> o = ParseDecoderOptions(args);
        ASSERT_TRUE(o) << row.flag << " " << row.with << ": " << o.failure().text;
        EXPECT_EQ(o->format, &row) << row.flag << " " << row.with;
        EXPECT_NE(DecoderUsage().find(row.synopsis), std::string::npos) << row.synopsis;
    }
    EXPECT_EQ(ParseDecoderOptions({"--html", "--json", "a.dat"}).failure().text,
              "--html と --json は同時に使えません");
    EXPECT_EQ(
        ParseDecoderOptions({"--summary", "--diff", "--json", "a.dat", "b.dat"}).failure().text,
        "--summary と --diff は同時に使えません");
}

}  // namespace qrx::test
