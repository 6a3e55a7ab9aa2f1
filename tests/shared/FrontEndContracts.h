#pragma once

// A close asked for while a command works, the same case on every front end: the Win32 window
// (the real program under Wine), the Qt window and the terminal. A front end's test program
// instantiates it over a driver of its own, which offers:
//
//   ButtonId Command() const;   // what it asks for: a run, or a category where no run completes
//   int CloseDuringACommand();  // starts the program in debug mode, asks for Command() and,
//                               // while that works, for a further command and for the close;
//                               // returns the exit status once the program has ended
//   std::vector<std::string> LogMessages();  // the trace log, without time and program
//   std::vector<std::string> Records();      // the data files' records, decrypted

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Collector.h"

namespace qrx::test {
namespace {

template <typename Driver>
struct CloseDuringACommandContract : ::testing::Test {
    Driver driver;
};
TYPED_TEST_SUITE_P(CloseDuringACommandContract);

// The close waits for the command, which runs to its end alone (the further command is dropped,
// as its button was disabled when it was asked for); then the program ends with its closing line.
TYPED_TEST_P(CloseDuringACommandContract, TheCommandEndsAloneThenTheProgramWithItsClosingLine) {
    auto& d = this->driver;
    const std::vector<CollectionStep> steps =
        d.Command() == ButtonId::cmdRun ? Collector::RunPlan()
                                        : std::vector{Collector::CategoryStep(d.Command())};
    EXPECT_EQ(d.CloseDuringACommand(), 0);

    const auto log = d.LogMessages();
    const std::string closing = "Form_Load() ----------PC Infomation Get Program E n d----------";
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), closing);
    EXPECT_EQ(std::count(log.begin(), log.end(), closing), 1);
    // Every class of the command from its start to its end, once and in order, and no other.
    std::vector<std::string> traced;
    std::vector<std::string> expected;
    for (const auto& m : log) {
        if (m.starts_with("GetInfo() ----------") &&
            (m.ends_with(" Start----------") || m.ends_with(" E n d----------"))) {
            traced.push_back(m);
        }
    }
    for (const auto& step : steps) {
        expected.push_back("GetInfo() ----------" + step.className + " Start----------");
        expected.push_back("GetInfo() ----------" + step.className + " E n d----------");
    }
    EXPECT_EQ(traced, expected);
    // Each class's records are in the data file, once.
    const auto records = d.Records();
    std::size_t headers = 0;
    for (const auto& step : steps) {
        const std::string header = std::string(10, '-') + step.className + std::string(10, '-');
        EXPECT_EQ(std::count(records.begin(), records.end(), header), 1) << step.className;
        headers += static_cast<std::size_t>(std::count(records.begin(), records.end(), header));
    }
    EXPECT_EQ(static_cast<std::size_t>(
                  std::count_if(records.begin(), records.end(),
                                [](const std::string& r) { return r.starts_with("----------"); })),
              headers);
}

REGISTER_TYPED_TEST_SUITE_P(CloseDuringACommandContract,
                            TheCommandEndsAloneThenTheProgramWithItsClosingLine);

}  // namespace
}  // namespace qrx::test
