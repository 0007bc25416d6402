// Building, showing and clearing cached curves, series and swaps through the stand-in host.

#include <string>
#include <vector>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

const Value nil;

// A series table: the five headers above rows of five cells.
Value series_rows(std::vector<Value> cells) {
    const std::vector<Value> header = {"SeriesIndex", "SeriesName", "StartDate", "MaturityDate",
                                       "Coupon"};
    cells.insert(cells.begin(), header.begin(), header.end());
    const auto rows = static_cast<int>(cells.size() / 5);
    return Value::grid(rows, 5, std::move(cells));
}

using Objects = Workbook;

// Handles and table texts holding a NUL, which no formula of the scenario comparison gives; the
// switches of a swap and the other messages of the range readers are that comparison's. How the
// cache numbers, finds and clears handles is tests/objects', what a cell's objects live for
// object_lifetime_test's; the bounds on tenors, rates and notionals are the core tests'.
TEST_F(Objects, NulsAndTextCoupons) {
    using namespace std::string_literals;
    build_reference();
    expect_calls({
        // A handle holding a NUL is another handle, and the message shows all of it.
        {"QVL.GetSwapInfo", {"#Swap_3\0x"s}, "Swap handle not found: #Swap_3\0x"s},
        // Messages quote the texts whole, NUL characters included.
        {"QVL.CreateSeries",
         {"1\0x"s, series, factors},
         "SeriesIndex '1\0x' not found in series_data"s},
        {"QVL.CreateSeries",
         {"1\0x"s, series_rows({"1\0x"s, "n", "2025-09-11", "2030-12-11", 2}), factors},
         "factors_data: column for index '1\0x' not found in header row"s},
        {"QVL.CreateSeries",
         {1, series_rows({1, "n", "2025-09-11", "2030-02-30\0x"s, 2}), factors},
         "Invalid date text: 2030-02-30\0x"s},
    });
    const Value text_coupon = host.call(
        "QVL.CreateSeries", {1, series_rows({1, "n", "2025-09-11", "2030-12-11", "2%"}), factors});
    EXPECT_NE(text_coupon.text().find("ensure: \"IsNumeric()\" failed"), std::string::npos)
        << text_coupon;
}

TEST_F(Objects, ReadersSkipTitlesBlanksAndExtraColumns) {
    // "Coupon" named only in a title row above the header row still counts; a later header
    // replaces an earlier one; rows before the match, extra columns and rows without a date or
    // a factor are ignored.
    // clang-format off
    const Value table = Value::grid(4, 6, {
        "Title",       nil,          nil,         nil,            "Coupon", nil,
        "SeriesIndex", "SeriesName", "StartDate", "MaturityDate", "Note",   "StartDate",
        nil,           nil,          nil,         nil,            nil,      nil,
        1,             "one",        "bad",       "2030-12-11",   2,        "2025-09-11"});
    const Value rows = Value::grid(4, 3, {
        "Date",       1,   "extra",
        nil,          0.5, 0.5,
        "2025-09-01", 1,   1,
        "2025-10-01", nil, 1});
    // clang-format on
    const Value info =
        host.call("QVL.GetSeriesInfo", {host.call("QVL.CreateSeries", {1, table, rows})});
    EXPECT_EQ(info.at(2, 1), Value("2025-09-11")) << info;
    EXPECT_EQ(info.at(4, 1), Value(200));
}

}  // namespace
