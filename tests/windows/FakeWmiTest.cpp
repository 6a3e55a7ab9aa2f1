#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include "platform/AppError.h"
#include "platform/windows/WinWmi.h"

namespace qrx::test {
namespace {

TEST(FakeWmi, Smoke) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WinWmi wmi;
    auto services = wmi.Bind("winmgmts:");
    auto set = services->ExecQuery("SELECT * FROM Win32_Processor");
    auto object = set->Next();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Property("Name").text, "CPU ビット");
    EXPECT_EQ(object->Property("PhysicalAdapter").type, vt::BOOL);
    EXPECT_EQ(object->Property("N").type, vt::I4);
    EXPECT_EQ(object->Property("IP").type, vt::ARRAY_VARIANT);
    EXPECT_EQ(object->Property("Z").type, vt::NULL_);
    try {
        object->Property("Caption");
        ADD_FAILURE();
    } catch (const AppError& e) {
        EXPECT_EQ(e.Source, "SWbemPropertySet");
        EXPECT_EQ(e.Description, "見つかりません。");
    }
    EXPECT_EQ(set->Next(), nullptr);
    auto board = services->ExecQuery("SELECT * FROM Win32_BaseBoard");
    try {
        board->Next();
        ADD_FAILURE();
    } catch (const AppError& e) {
        EXPECT_EQ(e.Source, "SWbemObjectSet");
        EXPECT_EQ(e.Description, "アクセスが拒否されました。");
    }
}

}  // namespace
}  // namespace qrx::test
