#include <gtest/gtest.h>

#include <functional>

#include "platform/AppError.h"
#include "platform/MemoryWmi.h"

namespace qrx::test {
namespace {

std::int32_t ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const AppError& e) {
        return e.Number;
    }
    return 0;
}

TEST(MemoryWmi, NamesAreComparedWithoutCaseAndErrorsComeWhereTheInstrumentationGivesThem) {
    MemoryWmi wmi;
    wmi.classes["Win32_Processor"] = {{{"Name", Variant::Text("A")}},
                                      {{"Name", Variant::Text("B")}}};
    auto services = wmi.Bind("WinMgmts:");
    auto set = services->ExecQuery("select * from WIN32_PROCESSOR");
    auto first = set->Next();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Property("name").text, "A");
    EXPECT_EQ(set->Next()->Property("NAME").text, "B");
    EXPECT_EQ(set->Next(), nullptr);

    EXPECT_EQ(ErrorOf([&] { first->Property("Caption"); }), ToSigned(WBEM_E_NOT_FOUND));
    // Query and class are only looked at when the enumeration begins.
    auto unknown = services->ExecQuery("SELECT * FROM Win32_Nothing");
    EXPECT_EQ(ErrorOf([&] { unknown->Next(); }), ToSigned(WBEM_E_INVALID_CLASS));
    auto invalid = services->ExecQuery("Win32_Processor");
    EXPECT_EQ(ErrorOf([&] { invalid->Next(); }), ToSigned(WBEM_E_INVALID_QUERY));
    EXPECT_EQ(ErrorOf([&] { wmi.Bind("cimv2"); }), ToSigned(0x800401E4));
}

}  // namespace
}  // namespace qrx::test
