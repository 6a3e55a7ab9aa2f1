#include <gtest/gtest.h>

#include "tests/support/Harness.h"

namespace qrx::test {
namespace {

struct GetInfo : ::testing::Test {
    Harness h;
    const std::string dataFile = "/opt/qrx/PC_INFO_991230000000.dat";

    void SetUp() override { h.program->state.DebugMode = true; }
    void Dump(const std::string& className, const PropertyList& list) {
        h.program->info.GetInfo(className, list);
    }
    std::vector<std::string> Records() { return h.Records(dataFile); }
};

TEST_F(GetInfo, WritesRecordsAndTracesByTypeCode) {
    h.wmi.classes["C"] = {{
        {"Text", Variant::Text("abc")},
        {"Empty", Variant::Text("")},
        {"Flag", Variant::Bool(true)},
        {"Count", Variant::Int(3)},
        {"Nothing", Variant::Null()},
        {"None", Variant::Array({})},
        {"One", Variant::Array({Variant::Text("x")})},
        {"Three", Variant::Array({Variant::Text("a"), Variant::Null(), Variant::Int(7)})},
    }};
    Dump("C", {"Text", "Empty", "Flag", "Count", "Nothing", "None", "One", "Three"});
    EXPECT_EQ(Records(), (std::vector<std::string>{"----------C----------", "Text\tabc", "Empty\t",
                                                   "One\tx", "Three\ta", "Three\t", "Three\t7"}));
    EXPECT_EQ(h.LogMessages(), (std::vector<std::string>{
                                   "GetInfo() ----------C Start----------", "GetInfo() Text\tabc",
                                   "GetInfo() Empty\t", "GetInfo() Flag\tTrue", "GetInfo() One\tx",
                                   "GetInfo() Three\ta", "GetInfo() Three\t", "GetInfo() Three\t7",
                                   "GetInfo() ----------C E n d----------"}));
    EXPECT_EQ(h.wmi.queries, std::vector<std::string>{"SELECT * FROM C"});
}

TEST_F(GetInfo, InstancesFollowEachOtherInstanceByInstance) {
    h.wmi.classes["C"] = {{{"A", Variant::Text("1")}, {"B", Variant::Text("2")}},
                          {{"A", Variant::Text("3")}, {"B", Variant::Text("4")}}};
    Dump("C", {"A", "B"});
    EXPECT_EQ(Records(),
              (std::vector<std::string>{"----------C----------", "A\t1", "B\t2", "A\t3", "B\t4"}));
}

TEST_F(GetInfo, NoInstancesGiveHeaderStartAndEndOnly) {
    h.wmi.classes["C"] = {};
    Dump("C", {"A"});
    EXPECT_EQ(Records(), std::vector<std::string>{"----------C----------"});
    EXPECT_EQ(h.LogMessages().size(), 2u);
}

TEST_F(GetInfo, BlankClassOrEmptyOrUnsizedListDoNothingAtAll) {
    Dump("   ", {"A"});
    Dump("", {"A"});
    Dump("C", PropertyList{});
    PropertyList empty;
    empty.Assign({});
    Dump("C", empty);
    EXPECT_TRUE(h.files.files.empty());
    EXPECT_TRUE(h.wmi.queries.empty());
}

TEST_F(GetInfo, UnknownPropertyStopsTheDumpButKeepsWhatWasWritten) {
    h.wmi.classes["C"] = {{{"A", Variant::Text("1")}}};
    try {
        Dump("C", {"A", "Missing", "A"});
        FAIL() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.Number, static_cast<std::int32_t>(WBEM_E_NOT_FOUND));
    }
    EXPECT_EQ(Records(), (std::vector<std::string>{"----------C----------", "A\t1"}));
    EXPECT_EQ(h.LogMessages().back(), "GetInfo() A\t1");
}

TEST_F(GetInfo, UnknownClassFailsAfterTheHeaderIsWritten) {
    EXPECT_THROW(Dump("Win32_Nothing", {"A"}), AppError);
    EXPECT_EQ(Records(), std::vector<std::string>{"----------Win32_Nothing----------"});
}

}  // namespace
}  // namespace qrx::test
