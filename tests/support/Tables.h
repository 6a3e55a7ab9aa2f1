#pragma once

// Table-driven checks of text functions: each row an input and what the function makes of it.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

namespace qrx::test {

// Expects `f(in) == out` for every row {in, out} of `rows`, the input naming a failing row.
template <typename F, typename Rows>
void ExpectEachRow(const Rows& rows, F f) {
    for (const auto& [in, out] : rows) {
        EXPECT_EQ(f(in), out) << in;
    }
}

// What an Append... function (such as AppendJsonString) adds to an empty text.
template <typename Append>
auto Appended(Append append) {
    return [append](std::string_view in) {
        std::string out;
        append(out, in);
        return out;
    };
}

}  // namespace qrx::test
