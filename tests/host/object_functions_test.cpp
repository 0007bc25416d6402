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

// One data row with the given SeriesIndex cell, below a decoy row "03.5".
Value series_table(const Value& index_cell) {
    return series_rows({"03.5", "decoy", "2025-09-11", "2030-12-11", 2,  //
                        index_cell, "found", "2025-09-11", "2030-12-11", 2});
}

// Factor columns headed 1, the text 2.0, the text " 3" and 3.5.
const Value factor_columns = Value::grid(3, 5,
                                         {"Date", 1, "2.0", " 3", 3.5,  //
                                          "2025-09-01", 1, 1, 1, 1,     //
                                          46022, 0.999, 0.999, 0.999, 0.999});

using Objects = Workbook;

TEST_F(Objects, CreateSwapReadsItsSwitchesAndASolveLeavesItsRate) {
    build_reference();
    const auto info = [&](const std::vector<Value>& args) {
        return host.call("QVL.GetSwapInfo", {host.call("QVL.CreateSwap", args)});
    };
    for (const auto& [is_buyer, side] :
         std::vector<std::pair<Value, const char*>>{{0, "Pay Floating"},
                                                    {Value::boolean(false), "Pay Floating"},
                                                    {"FALSE", "Pay Fixed"},
                                                    {missing, "Pay Fixed"},
                                                    {-2, "Pay Fixed"}}) {
        EXPECT_EQ(info({"#Series_2", "#YC_1", is_buyer}).at(6, 1), Value(side)) << is_buyer;
    }
    const Value switches = info({"#Series_2", "#YC_1", missing, Value::boolean(true), 5e6});
    EXPECT_EQ(switches.at(7, 1), Value(1));
    EXPECT_EQ(switches.at(8, 1), Value(5e6));
    const Value texts = info({"#Series_2", "#YC_1", missing, "x", "y"});
    EXPECT_EQ(texts.at(7, 1), Value(200));
    EXPECT_EQ(texts.at(8, 1), Value(10000000));

    const Value solved = host.call("QVL.SolveFromSpread", {"#Swap_3", "2026-01-20", 100});
    const Value rate = host.call("QVL.GetSwapInfo", {"#Swap_3"}).at(7, 1);
    EXPECT_NEAR(rate.number(), solved.at(3, 1).number(), 1e-6);
    EXPECT_LT(rate.number(), 150);
}

TEST_F(Objects, HandlesAreExactCaseSensitiveAndOfTheirKind) {
    build_reference();
    using namespace std::string_literals;
    expect_calls({
        {"QVL.GetSwapInfo", {"#swap_3"}, "Swap handle not found: #swap_3"},
        {"QVL.GetSwapInfo", {"#Swap_3 "}, "Swap handle not found: #Swap_3 "},
        // A handle holding a NUL is another handle, and the message shows all of it.
        {"QVL.GetSwapInfo", {"#Swap_3\0x"s}, "Swap handle not found: #Swap_3\0x"s},
        {"QVL.GetSwapInfo", {3}, "Swap handle not found: 3"},
        {"QVL.GetSeriesInfo", {"#YC_1"}, "Series handle not found: #YC_1"},
        {"QVL.CreateSwap", {"a", "b"}, "Series handle not found: a"},
        {"QVL.CreateSwap", {"#Series_2", "#Series_2"}, "Curve handle not found: #Series_2"},
        {"QVL.CalcFromEventRate", {"#YC_1", "2026-01-20", 200}, "Swap handle not found: #YC_1"},
        {"QVL.DiscountFactor", {"#Swap_3", -1}, "Curve handle not found: #Swap_3"},
    });
}

TEST_F(Objects, FailedCreationsUseNoHandleNumberAndClearingRestartsThem) {
    const char* const two_columns = "discount_data must be a 2-column range (Tenor, ParRate)";
    expect_calls({
        {"QVL.CreateCurve", {Value::boolean(true), curve}, "Invalid yield-curve date"},
        {"QVL.CreateCurve", {"hello", curve}, "invalid stoi argument"},
        {"QVL.CreateCurve", {"2026-01-20"}, two_columns},
        {"QVL.CreateCurve", {"2026-01-20", Value::grid(2, 1, {"1M", 0.04})}, two_columns},
        {"QVL.CreateCurve", {"2026-01-20", curve}, "#YC_1"},
        {"QVL.CreateSwap", {"#Series_1", "#YC_1"}, "Series handle not found: #Series_1"},
        {"QVL.CreateSeries",
         {1, series, Value::grid(1, 2, {"Date", 1})},
         "factors_data must have a header row and at least one data row"},
        {"QVL.CreateSeries", {1, series, factors}, "#Series_2"},
        {"QVL.CreateSwap", {"#Series_2", "#YC_1"}, "#Swap_3"},
        {"QVL.ClearCache", {}, "Cache cleared"},
        {"QVL.GetSwapInfo", {"#Swap_3"}, "Swap handle not found: #Swap_3"},
        {"QVL.DiscountFactor", {"#YC_1", 46042}, "Curve handle not found: #YC_1"},
        {"QVL.CreateSeries", {1, series, factors}, "#Series_1"},
    });
}

TEST_F(Objects, TableMessagesAndBoundsAtCreation) {
    const auto curve_of = [](const Value& tenor, const Value& rate) {
        return Value::grid(2, 2, {"1M", 0.04, tenor, rate});
    };
    const char* const no_headers = "series_data: could not find required column headers";
    const std::vector<Value> row = {1, "n", "2025-09-11", "2030-12-11", 2};
    expect_calls({
        {"QVL.CreateSeries", {1, series_rows(row, "seriesindex"), factors}, no_headers},
        {"QVL.CreateSeries",
         {1, factors, factors},
         "series_data must have columns: SeriesIndex, SeriesName, StartDate, MaturityDate, "
         "Coupon"},
        {"QVL.CreateSeries", {7, series, factors}, "SeriesIndex '7' not found in series_data"},
        {"QVL.CreateSeries", {missing, series, factors}, "SeriesIndex '' not found in series_data"},
        {"QVL.CreateSeries",
         {4, series_table(4), factor_columns},
         "factors_data: column for index '4' not found in header row"},
        // Core messages come back unchanged.
        {"QVL.CreateSeries",
         {1, series_rows({1, "n", "2025-09-13", "2030-12-11", 2}), factors},
         "QVLSeries validate: start_date is not a business day"},
        {"QVL.CreateSeries",
         {1, series_rows({1, "n", "2025-09-11", "2025-09-11", 2}), factors},
         "QVLSeries validate: maturity_date is not after start_date"},
        {"QVL.CreateSeries",
         {1, series, Value::grid(2, 2, {"Date", 1, "n/a", 1})},
         "invalid stoi argument"},
        // Dates of the tables that name no day fail the read rather than drop or move the row.
        {"QVL.CreateCurve", {"2026-02-30", curve}, "Invalid yield-curve date"},
        {"QVL.CreateSeries",
         {1, series_rows({1, "n", "2025-09-11", "2030-02-30", 2}), factors},
         "Invalid date text: 2030-02-30"},
        {"QVL.CreateSeries",
         {1, series, Value::grid(3, 2, {"Date", 1, "2025-09-01", 1, "2025-09-31", 1})},
         "Invalid date text: 2025-09-31"},
        {"QVL.CreateCurve", {"2026-01-20", curve_of("5D", 0.04)}, "Invalid tenor: 5D"},
        {"QVL.CreateCurve",
         {"2026-01-20", curve_of("1Y", -1.0)},
         "YieldCurve: par rate of 1Y is at or below -100 %"},
        {"QVL.CreateCurve",
         {"2026-01-20", curve_of("1Y", 1e308)},
         "YieldCurve: par rate of 1Y is above 10000 %, not supported"},
    });
    const Value text_coupon = host.call(
        "QVL.CreateSeries", {1, series_rows({1, "n", "2025-09-11", "2030-12-11", "2%"}), factors});
    EXPECT_NE(text_coupon.text().find("ensure: \"IsNumeric()\" failed"), std::string::npos)
        << text_coupon;

    build_reference();
    expect_calls({
        {"QVL.CreateSwap",
         {"#Series_2", "#YC_1", missing, 200, 1e308},
         "QVLSwap: notional above 1e15 not supported"},
        {"QVL.CreateSwap",
         {"#Series_2", "#YC_1", missing, 1e308},
         "QVLSwap: credit event rate beyond 1e6 bp in size not supported"},
        // Negative rates stay: a curve below zero, a swap whose factors grow.
        {"QVL.CreateCurve", {"2026-01-20", curve_of("1Y", -0.005)}, "#YC_4"},
        {"QVL.CreateSwap", {"#Series_2", "#YC_4", missing, -50}, "#Swap_5"},
    });
    EXPECT_TRUE(
        host.call("QVL.CalcFromEventRate", {"#Swap_5", "2026-01-20", -50}).at(6, 1).is_number());
}

TEST_F(Objects, ReadersSkipTitlesBlanksAndExtraColumns) {
    // "Coupon" named only in a title row above the header row still counts; a later header
    // replaces an earlier one; rows before the match and extra columns are ignored.
    // clang-format off
    const Value table = Value::grid(4, 6, {
        "Title",       nil,          nil,         nil,            "Coupon", nil,
        "SeriesIndex", "SeriesName", "StartDate", "MaturityDate", "Note",   "StartDate",
        nil,           nil,          nil,         nil,            nil,      nil,
        1,             "one",        "bad",       "2030-12-11",   2,        "2025-09-11"});
    // Rows without a date or a factor are skipped.
    const Value rows = Value::grid(5, 3, {
        "Date",       1,        "extra",
        nil,          0.5,      0.5,
        "2025-09-01", 1,        1,
        "2025-10-01", nil,      1,
        46022,        0.999955, 1});
    const Value with_header = Value::grid(4, 3, {
        "Tenor", "ParRate", nil,
        nil,     nil,       nil,
        "1Y",    0.035,     "note",
        "2Y",    0.033,     nil});
    // clang-format on
    const Value handle = host.call("QVL.CreateSeries", {1, table, rows});
    ASSERT_EQ(handle, Value("#Series_1"));
    const Value info = host.call("QVL.GetSeriesInfo", {handle});
    EXPECT_EQ(info.at(2, 1), Value("2025-09-11"));
    EXPECT_EQ(info.at(4, 1), Value(200));
    EXPECT_EQ(host.call("QVL.CreateCurve", {46042, with_header}), Value("#YC_2"));
}

// The key given, the series table's index cells and the factor headers all compare as
// normalised keys.
TEST_F(Objects, IndexKeysAreNormalisedOnEverySide) {
    const auto name_and_index = [&](const Value& key, const Value& cell) {
        const Value info =
            host.call("QVL.GetSeriesInfo",
                      {host.call("QVL.CreateSeries", {key, series_table(cell), factor_columns})});
        return info.at(1, 1).text() + " " + info.at(0, 1).text();
    };
    for (const Value& cell : {Value("3"), Value(3), Value(" 3 ")}) {
        EXPECT_EQ(name_and_index(3, cell), "found 3") << cell;
    }
    // 3.5 reaches the decoy "03.5"; 2 finds the factor column headed "2.0".
    EXPECT_EQ(name_and_index("3.5", 2), "decoy 3.500000");
    EXPECT_EQ(name_and_index(2.0, "2"), "found 2");
}

}  // namespace
