// QVL.Risk on the reference workbook through the stand-in host, and the service's "Risk"
// request beside it.

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "../http/http_client.hpp"
#include "workbook.hpp"

namespace {

using standin::Value;
using workbook::expect_record;

const Value missing = Value::missing();

class RiskWorkbook : public Workbook {
  protected:
    void SetUp() override {
        Workbook::SetUp();
        build_reference();
        // A seller beside the buyer #Swap_3.
        ASSERT_EQ(host.call("QVL.CreateSwap", {"#Series_2", "#YC_1", Value::boolean(false)}),
                  Value("#Swap_4"));
    }

    Value risk(const Value& swap, const Value& rate = 200) {
        return host.call("QVL.Risk", {swap, "2026-01-20", rate});
    }
    double number(const Value& grid, int row) {
        EXPECT_TRUE(grid.at(row, 1).is_number()) << grid;
        return grid.at(row, 1).is_number() ? grid.at(row, 1).number() : std::nan("");
    }
    // Row 7 of a valuation grid: the upfront payment.
    double upfront_payment(const Value& valuation) { return number(valuation, 6); }
};

// Each figure is rounded to 0.01, so a difference of two of them may miss the rounded
// difference by 0.01; the spread shown is rounded to 1e-6 bp, a few 0.001 of payment more.
constexpr double rounding = 0.01 + 1e-9;
constexpr double spread_rounding = rounding + 0.005;

TEST_F(RiskWorkbook, EachMeasureIsTheDifferenceOfTheWorksheetsOwnCalls) {
    const Value grid = risk("#Swap_3");
    expect_record(grid,
                  {"Upfront Payment", -3138.55,  //
                   "Event Rate 01", -4365.03,    //
                   "Spread 01", -4352.15,        //
                   "IR 01", -0.17,               //
                   "Trade Date", "2026-01-20"},
                  1e-9);

    const Value base = host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-01-20", 200});
    EXPECT_EQ(number(grid, 0), upfront_payment(base));
    const Value at_201 = host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-01-20", 201});
    EXPECT_NEAR(number(grid, 1), upfront_payment(at_201) - upfront_payment(base), rounding);
    const double spread = number(base, 1) + 1.0;
    const Value solved = host.call("QVL.SolveFromSpread", {"#Swap_3", "2026-01-20", spread});
    EXPECT_NEAR(number(grid, 2), upfront_payment(solved) - upfront_payment(base), spread_rounding);

    // A curve from the bumped table, and a swap on it.
    std::vector<Value> cells = curve.grid().cells;
    for (std::size_t i = 3; i < cells.size(); i += 2) cells[i] = Value(cells[i].number() + 0.0001);
    const Value bumped_table = Value::grid(curve.rows(), curve.columns(), std::move(cells));
    const Value bumped_curve = host.call("QVL.CreateCurve", {"2026-01-20", bumped_table});
    ASSERT_EQ(bumped_curve, Value("#YC_5"));
    const Value bumped_swap = host.call("QVL.CreateSwap", {"#Series_2", bumped_curve});
    const Value on_bumped = host.call("QVL.CalcFromEventRate", {bumped_swap, "2026-01-20", 200});
    EXPECT_NEAR(number(grid, 3), upfront_payment(on_bumped) - upfront_payment(base), rounding);
}

TEST_F(RiskWorkbook, SellerMeasuresAreTheBuyersReversed) {
    const Value buyer = risk("#Swap_3");
    const Value seller = risk("#Swap_4");
    for (int r = 0; r < 4; ++r) EXPECT_EQ(number(seller, r), -number(buyer, r)) << r;
    EXPECT_EQ(seller.at(4, 1), buyer.at(4, 1));
}

TEST_F(RiskWorkbook, LeavesTheSwapAsTheValuationDoesAndTheCurveAsItWas) {
    const Value curve_before = host.call("QVL.DiscountFactor", {"#YC_1", "2029-06-01"});
    ASSERT_EQ(host.call("QVL.CreateSwap", {"#Series_2", "#YC_1"}), Value("#Swap_5"));
    host.call("QVL.SolveFromSpread", {"#Swap_3", "2026-01-20", 300});
    host.call("QVL.Risk", {"#Swap_3", "2026-02-17", 350});
    host.call("QVL.CalcFromEventRate", {"#Swap_5", "2026-02-17", 350});
    // What later calls read: the swap's description, its rate, and the amounts of its latest
    // valuation (a payment without a rate accrues on them).
    for (const char* swap : {"#Swap_3", "#Swap_5"}) {
        SCOPED_TRACE(swap);
        EXPECT_EQ(host.call("QVL.GetSwapInfo", {swap}), host.call("QVL.GetSwapInfo", {"#Swap_5"}));
        EXPECT_EQ(host.call("QVL.TotalPayment", {swap, "2026-03-02", 99.5, 1, missing}),
                  host.call("QVL.TotalPayment", {"#Swap_5", "2026-03-02", 99.5, 1, missing}));
        EXPECT_EQ(host.call("QVL.CashflowTable", {swap, "2026-02-17"}),
                  host.call("QVL.CashflowTable", {"#Swap_5", "2026-02-17"}));
    }
    EXPECT_EQ(host.call("QVL.DiscountFactor", {"#YC_1", "2029-06-01"}), curve_before);
    // Nothing was cached along the way.
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve}), Value("#YC_6"));
}

TEST_F(RiskWorkbook, RateIsReadAsTheCashflowTableReadsIt) {
    const Value at_200 = risk("#Swap_3");
    host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-01-20", 350});
    const Value at_350 = risk("#Swap_3", 350);
    EXPECT_NE(at_350, at_200);
    // Missing, blank or text: the rate the swap holds.
    for (const Value& kept : {missing, Value(), Value("200")}) {
        EXPECT_EQ(risk("#Swap_3", kept), at_350) << kept;
    }
    EXPECT_EQ(risk("#Swap_3", 200), at_200);
}

TEST_F(RiskWorkbook, BadInputsAnswerTheValuationsMessages) {
    for (const Value& t : {Value(""), Value(-1), Value("2026-02-30"), Value("x"),
                           Value("2030-12-11"), Value("2025-01-02")}) {
        SCOPED_TRACE(t);
        EXPECT_EQ(host.call("QVL.Risk", {"#Swap_3", t, 200}),
                  host.call("QVL.CalcFromEventRate", {"#Swap_3", t, 200}));
    }
    EXPECT_EQ(host.call("QVL.Risk", {"#Swap_3", "2030-12-11", 200}),
              Value("QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date"));
    EXPECT_EQ(host.call("QVL.Risk", {"#Swap_3", -1}), Value("Invalid trade date"));
    EXPECT_EQ(host.call("QVL.Risk", {"#Swap_9", "2026-01-20"}),
              Value("Swap handle not found: #Swap_9"));
    EXPECT_EQ(host.call("QVL.Risk", {"#YC_1", "2026-01-20"}),
              host.call("QVL.CalcFromEventRate", {"#YC_1", "2026-01-20", 200}));
}

TEST_F(RiskWorkbook, AnEmptyMeasureIsAnEmptyText) {
    // After its last floating payment no spread prices the swap: no spread search can succeed.
    const Value late_series =
        host.call("QVL.CreateSeries",
                  {1,
                   Value::grid(2, 5,
                               {"SeriesIndex", "SeriesName", "StartDate", "MaturityDate", "Coupon",
                                1, "1 (Sep 25)", "2025-09-11", "2030-12-20", 2}),
                   factors});
    const Value late = host.call("QVL.CreateSwap", {late_series, "#YC_1"});
    const Value grid = host.call("QVL.Risk", {late, "2030-12-17", 200});
    ASSERT_EQ(grid.rows(), 5) << grid;
    EXPECT_EQ(grid.at(2, 0), Value("Spread 01"));
    EXPECT_EQ(grid.at(2, 1), Value(""));
    EXPECT_TRUE(grid.at(1, 1).is_number());
    EXPECT_TRUE(grid.at(3, 1).is_number());
}

// The service's answer carries the grid's figures, in the grid's order.
TEST_F(RiskWorkbook, ServiceAnswersTheGridsFigures) {
    // Another process may take a probed free port before the start, so a few are tried.
    std::uint16_t port = 0;
    bool running = false;
    for (int attempt = 0; attempt < 20 && !running; ++attempt) {
        port = 0;
        ::close(qvl::service::testing::loopback_socket(port, false));
        running = host.call("QVL.HttpStart", {port}) ==
                  Value("HTTP server running on port " + std::to_string(port));
    }
    ASSERT_TRUE(running);
    const auto post = [&](const std::string& body) {
        return qvl::service::testing::Client(port).request("POST", "/qvl", body);
    };
    for (const char* swap : {"#Swap_3", "#Swap_4"}) {
        SCOPED_TRACE(swap);
        const auto reply = post(std::string(R"j({"Request":"Risk","swap":")j") + swap +
                                R"j(","Trade Date":"2026-01-20","Credit Event Rate":200})j");
        ASSERT_EQ(reply.status, 200) << reply.body;
        const auto document = nlohmann::ordered_json::parse(reply.body);
        const Value grid = risk(swap);
        ASSERT_EQ(document.size(), 5u);
        int r = 0;
        for (const auto& [key, value] : document.items()) {
            EXPECT_EQ(Value(key), grid.at(r, 0));
            if (value.is_number()) {
                EXPECT_EQ(Value(value.get<double>()), grid.at(r, 1)) << key;
            } else {
                EXPECT_EQ(Value(value.get<std::string>()), grid.at(r, 1)) << key;
            }
            ++r;
        }
    }
    EXPECT_EQ(host.call("QVL.HttpStop"), Value("HTTP server stopped"));
}

}  // namespace
