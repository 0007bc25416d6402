// Building, showing and clearing cached curves, series and swaps through the stand-in host.

#include <string>
#include <vector>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

const Value missing = Value::missing();
const Value nil;

// A series table: the five headers above rows of five cells.
Value series_rows(std::vector<Value> cells, const char* index_header = "SeriesIndex") {
    const std::vector<Value> header = {index_header, "SeriesName", "StartDate", "MaturityDate",
                                       "Coupon"};
    cells.insert(cells.begin(), header.begin(), header.end());
    const auto rows = static_cast<int>(cells.size() / 5);
    return Value::grid(rows, 5, std::move(cells));
}

using Objects = Workbook;

TEST_F(Objects, CreateSwapReadsItsSwitches) {
    build_reference();
    // Side, rate and notional as the swap's description shows them.
    const auto shown = [&](std::vector<Value> args) {
        args.insert(args.begin(), {"#Series_2", "#YC_1"});
        const Value info = host.call("QVL.GetSwapInfo", {host.call("QVL.CreateSwap", args)});
        return info.at(6, 1).text() + " " + std::to_string(info.at(7, 1).number()) + " " +
               std::to_string(info.at(8, 1).number());
    };
    const std::pair<std::vector<Value>, const char*> cases[] = {
        {{0}, "Pay Floating 200.000000 10000000.000000"},
        {{"FALSE"}, "Pay Fixed 200.000000 10000000.000000"},
        {{missing, Value::boolean(true), 5e6}, "Pay Fixed 1.000000 5000000.000000"},
        {{missing, "x", "y"}, "Pay Fixed 200.000000 10000000.000000"},
    };
    for (const auto& [args, expected] : cases) EXPECT_EQ(shown(args), expected);
}

// Handles from cells of every kind, and the messages of the range readers. How the cache
// numbers, finds and clears handles is tests/objects', what a cell's objects live for
// object_lifetime_test's.
TEST_F(Objects, HandlesAndRangeMessages) {
    using namespace std::string_literals;
    const char* const two_columns = "discount_data must be a 2-column range (Tenor, ParRate)";
    expect_calls({
        {"QVL.CreateCurve", {Value::boolean(true), curve}, "Invalid yield-curve date"},
        {"QVL.CreateCurve", {"2026-01-20"}, two_columns},
        {"QVL.CreateCurve", {"2026-01-20", Value::grid(2, 1, {"1M", 0.04})}, two_columns},
        {"QVL.CreateSeries",
         {1, series, Value::grid(1, 2, {"Date", 1})},
         "factors_data must have a header row and at least one data row"},
    });
    build_reference();  // the failures used no handle number
    expect_calls({
        // A handle holding a NUL is another handle, and the message shows all of it.
        {"QVL.GetSwapInfo", {"#Swap_3\0x"s}, "Swap handle not found: #Swap_3\0x"s},
        {"QVL.GetSwapInfo", {3}, "Swap handle not found: 3"},
    });
}

// The bounds on tenors, rates and notionals are the core tests'.
TEST_F(Objects, TableMessages) {
    using namespace std::string_literals;
    const char* const no_headers = "series_data: could not find required column headers";
    const std::vector<Value> row = {1, "n", "2025-09-11", "2030-12-11", 2};
    expect_calls({
        {"QVL.CreateSeries", {1, series_rows(row, "seriesindex"), factors}, no_headers},
        {"QVL.CreateSeries",
         {1, factors, factors},
         "series_data must have columns: SeriesIndex, SeriesName, StartDate, MaturityDate, "
         "Coupon"},
        {"QVL.CreateSeries", {missing, series, factors}, "SeriesIndex '' not found in series_data"},
        {"QVL.CreateSeries", {4, series, factors}, "SeriesIndex '4' not found in series_data"},
        {"QVL.CreateSeries",
         {4, series_rows({4, "n", "2025-09-11", "2030-12-11", 2}), factors},
         "factors_data: column for index '4' not found in header row"},
        // Dates of the tables that name no day fail the read rather than drop or move the row.
        {"QVL.CreateCurve", {"2026-02-30", curve}, "Invalid yield-curve date"},
        {"QVL.CreateSeries",
         {1, series_rows({1, "n", "2025-09-11", "2030-02-30", 2}), factors},
         "Invalid date text: 2030-02-30"},
        {"QVL.CreateSeries",
         {1, series, Value::grid(3, 2, {"Date", 1, "2025-09-01", 1, "2025-09-31", 1})},
         "Invalid date text: 2025-09-31"},
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
