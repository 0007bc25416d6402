// Building, showing and clearing cached curves, series and swaps through the stand-in host.

#include <malloc.h>

#include <string>
#include <vector>

#include "workbook.hpp"

namespace {

using standin::Value;
using workbook::expect_record;

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

TEST_F(Workbook, BuildsTheReferenceObjectsAndDescribesThem) {
    build_reference();
    expect_record(host.call("QVL.GetSeriesInfo", {"#Series_2"}),
                  {"Index", "1", "Name", "1 (Sep 25)", "Start Date", "2025-09-11", "Maturity Date",
                   "2030-12-11", "Coupon (bps)", 200});
    expect_record(host.call("QVL.GetSwapInfo", {"#Swap_3"}), {"Name",
                                                              "1 (Sep 25)",
                                                              "Start Date",
                                                              "2025-09-11",
                                                              "Maturity Date",
                                                              "2030-12-11",
                                                              "Coupon (bps)",
                                                              200,
                                                              "Frequency",
                                                              "M",
                                                              "Day Count",
                                                              "ACT/360",
                                                              "Pay Fixed/Float",
                                                              "Pay Fixed",
                                                              "Event Rate (bps)",
                                                              200,
                                                              "Notional",
                                                              10000000,
                                                              "Settlement Delay",
                                                              3,
                                                              "Payment Delay",
                                                              0});

    // A solve leaves its rate in the swap.
    const Value solved = host.call("QVL.SolveFromSpread", {"#Swap_3", "2026-01-20", 100});
    const Value info = host.call("QVL.GetSwapInfo", {"#Swap_3"});
    EXPECT_NEAR(info.at(7, 1).number(), solved.at(3, 1).number(), 1e-6);
    EXPECT_LT(info.at(7, 1).number(), 150);
}

TEST_F(Workbook, CreateSwapDefaultsAndReadsItsSwitches) {
    build_reference();
    const auto side = [&](const Value& is_buyer) {
        const Value handle = host.call("QVL.CreateSwap", {"#Series_2", "#YC_1", is_buyer});
        return host.call("QVL.GetSwapInfo", {handle}).at(6, 1);
    };
    EXPECT_EQ(side(0), Value("Pay Floating"));
    EXPECT_EQ(side(Value::boolean(false)), Value("Pay Floating"));
    EXPECT_EQ(side("FALSE"), Value("Pay Fixed"));
    EXPECT_EQ(side(missing), Value("Pay Fixed"));
    EXPECT_EQ(side(-2), Value("Pay Fixed"));

    const Value handle =
        host.call("QVL.CreateSwap", {"#Series_2", "#YC_1", missing, Value::boolean(true), 5e6});
    const Value info = host.call("QVL.GetSwapInfo", {handle});
    EXPECT_EQ(info.at(7, 1), Value(1));
    EXPECT_EQ(info.at(8, 1), Value(5e6));
    const Value texts = host.call("QVL.CreateSwap", {"#Series_2", "#YC_1", missing, "x", "y"});
    EXPECT_EQ(host.call("QVL.GetSwapInfo", {texts}).at(7, 1), Value(200));
    EXPECT_EQ(host.call("QVL.GetSwapInfo", {texts}).at(8, 1), Value(10000000));
}

TEST_F(Workbook, HandlesAreExactCaseSensitiveAndOfTheirKind) {
    build_reference();
    EXPECT_EQ(host.call("QVL.GetSwapInfo", {"#swap_3"}), Value("Swap handle not found: #swap_3"));
    EXPECT_EQ(host.call("QVL.GetSwapInfo", {"#Swap_3 "}), Value("Swap handle not found: #Swap_3 "));
    // A handle holding a NUL is another handle, and the message shows all of it.
    using namespace std::string_literals;
    EXPECT_EQ(host.call("QVL.GetSwapInfo", {"#Swap_3\0x"s}),
              Value("Swap handle not found: #Swap_3\0x"s));
    EXPECT_EQ(host.call("QVL.GetSeriesInfo", {"#YC_1"}), Value("Series handle not found: #YC_1"));
    EXPECT_EQ(host.call("QVL.CreateSwap", {"a", "b"}), Value("Series handle not found: a"));
    EXPECT_EQ(host.call("QVL.CreateSwap", {"#Series_2", "#Series_2"}),
              Value("Curve handle not found: #Series_2"));
    EXPECT_EQ(host.call("QVL.CalcFromEventRate", {"#YC_1", "2026-01-20", 200}),
              Value("Swap handle not found: #YC_1"));
    EXPECT_EQ(host.call("QVL.DiscountFactor", {"#Swap_3", -1}),
              Value("Curve handle not found: #Swap_3"));
    EXPECT_EQ(host.call("QVL.GetSwapInfo", {3}), Value("Swap handle not found: 3"));
}

TEST_F(Workbook, FailedCreationsUseNoHandleNumberAndClearingRestartsThem) {
    EXPECT_EQ(host.call("QVL.CreateCurve", {Value::boolean(true), curve}),
              Value("Invalid yield-curve date"));
    EXPECT_EQ(host.call("QVL.CreateCurve", {"hello", curve}), Value("invalid stoi argument"));
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-01-20"}),
              Value("discount_data must be a 2-column range (Tenor, ParRate)"));
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", Value::grid(2, 1, {"1M", 0.04})}),
              Value("discount_data must be a 2-column range (Tenor, ParRate)"));
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve}), Value("#YC_1"));
    EXPECT_EQ(host.call("QVL.CreateSwap", {"#Series_1", "#YC_1"}),
              Value("Series handle not found: #Series_1"));
    EXPECT_EQ(host.call("QVL.CreateSeries", {1, series, Value::grid(1, 2, {"Date", 1})}),
              Value("factors_data must have a header row and at least one data row"));
    EXPECT_EQ(host.call("QVL.CreateSeries", {1, series, factors}), Value("#Series_2"));
    EXPECT_EQ(host.call("QVL.CreateSwap", {"#Series_2", "#YC_1"}), Value("#Swap_3"));

    EXPECT_EQ(host.call("QVL.ClearCache"), Value("Cache cleared"));
    EXPECT_EQ(host.call("QVL.GetSwapInfo", {"#Swap_3"}), Value("Swap handle not found: #Swap_3"));
    EXPECT_EQ(host.call("QVL.DiscountFactor", {"#YC_1", 46042}),
              Value("Curve handle not found: #YC_1"));
    EXPECT_EQ(host.call("QVL.CreateSeries", {1, series, factors}), Value("#Series_1"));
}

TEST_F(Workbook, ClearCacheReleasesEverythingItHeld) {
    const auto fill_and_clear = [&] {
        for (int i = 0; i < 50; ++i) {
            const Value c = host.call("QVL.CreateCurve", {"2026-01-20", curve});
            const Value s = host.call("QVL.CreateSeries", {1, series, factors});
            const Value w = host.call("QVL.CreateSwap", {s, c});
            host.call("QVL.CashflowTable", {w, "2026-01-20"});
        }
        ASSERT_EQ(host.call("QVL.ClearCache"), Value("Cache cleared"));
        ASSERT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve}), Value("#YC_1"));
        host.call("QVL.ClearCache");
    };
    fill_and_clear();
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
    // 50 swaps hold hundreds of kilobytes; after a clear the heap is back where it was.
    const std::size_t before = mallinfo2().uordblks;
    fill_and_clear();
    fill_and_clear();
    EXPECT_LE(mallinfo2().uordblks, before + 4096);
#else
    // The sanitizer build's leak check covers this at exit.
    fill_and_clear();
#endif
}

TEST_F(Workbook, SeriesTableMessages) {
    const auto create = [&](const Value& key, const Value& table) {
        return host.call("QVL.CreateSeries", {key, table, factors});
    };
    const std::string no_headers = "series_data: could not find required column headers";
    const std::vector<Value> row = {1, "n", "2025-09-11", "2030-12-11", 2};
    EXPECT_EQ(create(1, series_rows(row, "seriesindex")), Value(no_headers));
    EXPECT_EQ(create(1, Value::grid(2, 5,
                                    {"SeriesIndex", "SeriesName", "StartDate", "MaturityDate",
                                     "Cpn", 1, "n", "2025-09-11", "2030-12-11", 2})),
              Value(no_headers));
    EXPECT_EQ(create(1, factors), Value("series_data must have columns: SeriesIndex, SeriesName, "
                                        "StartDate, MaturityDate, Coupon"));
    EXPECT_EQ(create(7, series), Value("SeriesIndex '7' not found in series_data"));
    EXPECT_EQ(create(missing, series), Value("SeriesIndex '' not found in series_data"));

    const Value text_coupon = create(1, series_rows({1, "n", "2025-09-11", "2030-12-11", "2%"}));
    EXPECT_NE(text_coupon.text().find("ensure: \"IsNumeric()\" failed"), std::string::npos)
        << text_coupon;

    EXPECT_EQ(host.call("QVL.CreateSeries", {4, series_table(4), factor_columns}),
              Value("factors_data: column for index '4' not found in header row"));
    // Core messages come back unchanged: a Saturday start, a date that is no date.
    const Value saturday = series_rows({1, "n", "2025-09-13", "2030-12-11", 2});
    EXPECT_EQ(create(1, saturday), Value("QVLSeries validate: start_date is not a business day"));
    EXPECT_EQ(host.call("QVL.CreateSeries", {1, series, Value::grid(2, 2, {"Date", 1, "n/a", 1})}),
              Value("invalid stoi argument"));
}

TEST_F(Workbook, CreationRefusesDatesTenorsAndNumbersNothingCanValue) {
    const auto curve_of = [](const Value& tenor, const Value& rate) {
        return Value::grid(2, 2, {"1M", 0.04, tenor, rate});
    };
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-02-30", curve}),
              Value("Invalid yield-curve date"));
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve_of("5D", 0.04)}),
              Value("Invalid tenor: 5D"));
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve_of("1Y", -1.0)}),
              Value("YieldCurve: par rate of 1Y is at or below -100 %"));
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve_of("1Y", 1e308)}),
              Value("YieldCurve: par rate of 1Y is above 10000 %, not supported"));

    // Dates of the tables that name no day fail the read rather than drop or move the row.
    EXPECT_EQ(host.call("QVL.CreateSeries",
                        {1, series_rows({1, "n", "2025-09-11", "2030-02-30", 2}), factors}),
              Value("Invalid date text: 2030-02-30"));
    EXPECT_EQ(
        host.call("QVL.CreateSeries",
                  {1, series, Value::grid(3, 2, {"Date", 1, "2025-09-01", 1, "2025-09-31", 1})}),
        Value("Invalid date text: 2025-09-31"));
    EXPECT_EQ(host.call("QVL.CreateSeries",
                        {1, series_rows({1, "n", "2025-09-11", "2025-09-11", 2}), factors}),
              Value("QVLSeries validate: maturity_date is not after start_date"));

    ASSERT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve}), Value("#YC_1"));
    ASSERT_EQ(host.call("QVL.CreateSeries", {1, series, factors}), Value("#Series_2"));
    EXPECT_EQ(host.call("QVL.CreateSwap", {"#Series_2", "#YC_1", missing, 200, 1e308}),
              Value("QVLSwap: notional above 1e15 not supported"));
    EXPECT_EQ(host.call("QVL.CreateSwap", {"#Series_2", "#YC_1", missing, 1e308}),
              Value("QVLSwap: credit event rate beyond 1e6 bp in size not supported"));
    // Negative rates stay: a curve below zero, a swap whose factors grow.
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve_of("1Y", -0.005)}), Value("#YC_3"));
    const Value handle = host.call("QVL.CreateSwap", {"#Series_2", "#YC_3", missing, -50});
    ASSERT_EQ(handle, Value("#Swap_4"));
    EXPECT_TRUE(
        host.call("QVL.CalcFromEventRate", {handle, "2026-01-20", -50}).at(6, 1).is_number());
}

TEST_F(Workbook, ReadersSkipTitlesBlanksAndExtraColumns) {
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

TEST_F(Workbook, IndexKeysAreNormalisedOnBothSides) {
    for (const Value& cell : {Value("3"), Value(3), Value(" 3 ")}) {
        SCOPED_TRACE(cell.describe());
        const Value handle = host.call("QVL.CreateSeries", {3, series_table(cell), factor_columns});
        EXPECT_EQ(host.call("QVL.GetSeriesInfo", {handle}).at(1, 1), Value("found"));
    }
    // 3.5 reaches the decoy "03.5"; 2 finds the factor column headed "2.0".
    const Value decoy = host.call("QVL.CreateSeries", {"3.5", series_table(2), factor_columns});
    ASSERT_TRUE(decoy.is_text()) << decoy;
    const Value decoy_info = host.call("QVL.GetSeriesInfo", {decoy});
    EXPECT_EQ(decoy_info.at(0, 1), Value("3.500000"));
    EXPECT_EQ(decoy_info.at(1, 1), Value("decoy"));
    const Value two = host.call("QVL.CreateSeries", {2.0, series_table("2"), factor_columns});
    EXPECT_EQ(host.call("QVL.GetSeriesInfo", {two}).at(0, 1), Value("2"));
}

}  // namespace
