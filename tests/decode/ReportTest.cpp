// The support desk's reports: grouping, matching, comparing, masking and HTML escaping.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/decode/Diff.h"
#include "tools/decode/Html.h"
#include "tools/decode/Mask.h"
#include "tools/decode/Records.h"
#include "tools/decode/Sha256.h"

namespace qrx::test {
namespace {

Collection Collect(const std::vector<std::string>& records, const std::string& file = "f") {
    Collection c;
    c.file = file;
    CollectionBuilder b(c);
    for (const auto& r : records) {
        b.Add(r, false);
    }
    return c;
}

std::string HexOf(const Digest& d) {
    std::string out;
    for (auto b : d) {
        out += "0123456789abcdef"[b >> 4];
        out += "0123456789abcdef"[b & 15];
    }
    return out;
}

TEST(Sha256, KnownAnswersAcrossThePaddingBoundary) {
    EXPECT_EQ(HexOf(Sha256("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf(Sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(HexOf(Sha256(std::string(1000, 'a'))),
              "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
    // RFC 4231 cases 2 and 6 (a key longer than a block).
    EXPECT_EQ(HexOf(HmacSha256("Jefe", "what do ya want for nothing?")),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(HexOf(HmacSha256(std::string(131, '\xaa'),
                               "Test Using Larger Than Block-Size Key - Hash Key First")),
              "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(Grouping, ArraysInstancesAndRepeatedClasses) {
    const Collection c = Collect({
        "Caption\tbefore any header",
        "----------Win32_NetworkAdapterConfiguration----------",
        "Caption\t[00000001] eth0",
        "IPAddress\t192.0.2.1",
        "IPAddress\tfe80::1",
        "MACAddress\t00:11:22:33:44:55",
        "Caption\t[00000002] wlan0",
        "IPAddress\t",
        "----------Win32_OperatingSystem----------",
        "----------Win32_OperatingSystem----------",
        "Caption\tOS",
    });
    ASSERT_EQ(c.classes.size(), 4u);
    EXPECT_EQ(c.classes[0].name, "");
    const auto& nics = c.classes[1].instances;
    ASSERT_EQ(nics.size(), 2u);
    EXPECT_EQ(nics[0].Find("IPAddress")->values,
              (std::vector<std::string>{"192.0.2.1", "fe80::1"}));
    EXPECT_EQ(nics[1].Find("IPAddress")->values, std::vector<std::string>{""});
    EXPECT_EQ(nics[1].Find("MACAddress"), nullptr);
    const auto views = ByClass(c);
    ASSERT_EQ(views.size(), 3u);
    EXPECT_EQ(views[2].name, "Win32_OperatingSystem");
    EXPECT_EQ(views[2].instances.size(), 1u);
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
        const auto make = [](const auto& list) {
            std::vector<Instance> out;
            for (const auto& [caption, mac] : list) {
                Instance i;
                i.properties.push_back({"Caption", {caption}});
                if (!mac.empty()) {
                    i.properties.push_back({"MACAddress", {mac}});
                }
                out.push_back(i);
            }
            return out;
        };
        const auto old = make(c.old);
        const auto now = make(c.now);
        std::vector<const Instance*> po, pn;
        for (const auto& i : old) {
            po.push_back(&i);
        }
        for (const auto& i : now) {
            pn.push_back(&i);
        }
        std::vector<std::string> got;
        for (const auto& p : MatchInstances(c.cls, po, pn)) {
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

    const Collection now = Collect(
        {"----------Win32_NetworkAdapterConfiguration----------", "Caption\t[1] eth0",
         "IPAddress\tfe80::1", "IPAddress\t192.0.2.9", "----------Win32_BaseBoard----------",
         "Product\tB\x1b[2J\xc2\x9b", "Version\t1.0", "----------Win32_Processor----------"});
    std::ostringstream text;
    WriteDiffText(text, old, now, Compare(old, now));
    EXPECT_EQ(text.str(),
              "--- f\n+++ f\n"
              "@@ Win32_NetworkAdapterConfiguration\n"
              "~ eth0\n"
              "    - IPAddress: 192.0.2.1\n"
              "    + IPAddress: 192.0.2.9\n"
              "    - MACAddress: 00:11:22:33:44:55\n"
              "@@ Win32_BaseBoard\n"
              "~ #1\n"
              "    ~ Product: A → B\\x1b[2J\\u009b\n"
              "    + Version: 1.0\n"
              "@@ Win32_Processor (追加)\n");
}

bool IsHexText(const std::string& s) {
    return s.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

TEST(Masking, PseudonymsKeepTheShapeAndTheKindOfAddress) {
    const Masker m("key");
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
        EXPECT_NE(Masker("other key").Value(c.property, c.value), masked) << "keyed";
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
    const Masker m("a fixed key, so that the check is the same on every run");
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

TEST(Html, EscapingAndCollectionTime) {
    const std::pair<std::string, std::string> escapes[] = {
        {"<b>&amp;\"'</b>", "&lt;b&gt;&amp;amp;&quot;&#39;&lt;/b&gt;"},
        {"a\tb\x1b[31m", "a\tb\\x1b[31m"},
        {"テスト～", "テスト～"},
        {"\xff\xc3(\xed\xa0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xc2\x85", "\\u0085"},
    };
    for (const auto& [in, out] : escapes) {
        EXPECT_EQ(HtmlEscape(in), out) << in;
    }
    const std::pair<std::string, std::string> times[] = {
        {"/x/PC_INFO_261206090507.dat", "2026-12-06 09:05:07"},
        {"C:\\Tools\\PC_INFO_191231235959.dat", "2019-12-31 23:59:59"},
        {"PC_INFO_991230000000.dat", "1899-12-30 00:00:00 (収集の前に書かれた記録)"},
        {"PC_INFO_261306090507.dat", ""},
        {"PC_INFO_2612060905.dat", ""},
        {"PC_INFO_2612060905071.dat", ""},
        {"report.dat", ""},
    };
    for (const auto& [in, out] : times) {
        EXPECT_EQ(CollectionTime(in), out) << in;
    }
}

}  // namespace
}  // namespace qrx::test
