// Valuations, solves, payments, the cashflow table, the risk and the curve functions through the
// stand-in host: what reaches the cells beyond the reference figures, which the core and the
// qvl-host transcript pin.

#include <string>
#include <vector>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

const Value missing = Value::missing();
const char* const at_maturity =
    "QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date";

class Calculations : public Workbook {
  protected:
    void SetUp() override {
        Workbook::SetUp();
        build_reference();
    }
    Value value_at(const Value& trade_date, const Value& rate = 200) {
        return host.call("QVL.CalcFromEventRate", {"#Swap_3", trade_date, rate});
    }
    Value risk(const Value& rate) { return host.call("QVL.Risk", {"#Swap_3", "2026-01-20", rate}); }
};

TEST_F(Calculations, MessagesReplaceTheGrid) {
    std::vector<Call> calls;
    for (const char* function :
         {"QVL.CalcFromEventRate", "QVL.SolveFromSpread", "QVL.SolveFromUpfront",
          "QVL.TotalPayment", "QVL.CashflowTable", "QVL.Risk"}) {
        // Texts that name no day are no trade dates, rather than a day read by position.
        for (const Value& date : {Value(""), Value(-1), Value("2026-02-30"), Value("2026-1-21")}) {
            calls.push_back({function, {"#Swap_3", date, 200}, "Invalid trade date"});
        }
        calls.push_back({function, {"#Swap_3", "x", 200}, "invalid stoi argument"});
        calls.push_back({function, {"#Swap_9", "2026-01-20"}, "Swap handle not found: #Swap_9"});
    }
    for (const char* function : {"QVL.DiscountFactor", "QVL.ForwardRate1D"}) {
        calls.push_back({function, {"#YC_1", -1}, "Invalid target date"});
        calls.push_back({function, {"#YC_1"}, "Invalid target date"});
        calls.push_back({function, {"#YC_1", "2026-1-21"}, "Invalid target date"});
        calls.push_back({function, {"#YC_1", "2026-1-1"}, "invalid stoi argument"});
        calls.push_back({function, {"#YC_2", "x"}, "Curve handle not found: #YC_2"});
    }
    expect_calls(calls);
    expect_calls({
        {"QVL.CalcFromEventRate", {"#Swap_3", "2030-12-11", 200}, at_maturity},
        {"QVL.CashflowTable", {"#Swap_3", "2030-12-11"}, at_maturity},
        {"QVL.Risk", {"#Swap_3", "2030-12-11"}, at_maturity},
        {"QVL.Risk", {"#YC_1", "2026-01-20"}, "Swap handle not found: #YC_1"},
        {"QVL.SolveFromSpread",
         {"#Swap_3", "2030-12-11", 200},
         "QVL Swap calculator is unable to solve for the Credit Event Rate given a Conventional "
         "Spread of 200.000000 bps"},
        {"QVL.TradePnL", {"#Swap_3", "2025-09-11", 100, missing, 99}, "Invalid trade date(s)"},
        {"QVL.TradePnL", {"#Swap_3", "2025-09-11", 100, "2026-02-30", 99}, "Invalid trade date(s)"},
        {"QVL.TradePnL", {"#Swap_3", "hello", 100, "2026-01-20", 99}, "invalid stoi argument"},
        // A fee no event rate reproduces: at the 2000 bp bound it is 53.04 %.
        {"QVL.SolveFromUpfront",
         {"#Swap_3", "2026-01-20", 90},
         "QVL Swap calculator is unable to solve for the Credit Event Rate given an Upfront Fee of "
         "90.000000 %"},
    });
    // A valuation after the failures is unharmed.
    EXPECT_EQ(value_at("2026-01-20").at(6, 1), Value(-3138.55));
}

TEST_F(Calculations, PaymentsReadTheirSwitchAndTheSwapsLatestRate) {
    const auto payment = [&](const Value& opening) {
        return host.call("QVL.TotalPayment", {"#Swap_3", "2026-01-20", 99.5477, opening, 200});
    };
    EXPECT_EQ(payment(missing), payment(1));
    EXPECT_EQ(payment(Value::boolean(false)), payment(0));
    EXPECT_EQ(payment(0).at(3, 1).number(), -payment(1).at(3, 1).number());

    // Without a rate the payment uses the one the last valuation left in the swap (the notional
    // in March depends on it).
    const auto march = [&](const Value& rate) {
        return host.call("QVL.TotalPayment", {"#Swap_3", "2026-03-02", 99.5, 0, rate});
    };
    const Value at_200 = march(200);
    value_at("2026-01-20", 500);
    const Value kept = march(missing);
    EXPECT_EQ(kept, march(500));
    EXPECT_NE(kept, at_200);
}

TEST_F(Calculations, CashflowTableReadsItsRateAsTheSwapsNewRate) {
    const Value table = host.call("QVL.CashflowTable", {"#Swap_3", "2026-01-20"});
    ASSERT_EQ(table.rows(), 65) << table;
    EXPECT_EQ(host.call("QVL.CashflowTable", {"#Swap_3", "2026-01-20", 200}), table);
    // A numeric rate replaces the swap's; 0 keeps every later factor at the last published one.
    const Value flat = host.call("QVL.CashflowTable", {"#Swap_3", 46042, 0});
    EXPECT_EQ(flat.at(5, 1), Value("2026-01-13"));
    for (int r = 6; r < 65; ++r) EXPECT_EQ(flat.at(r, 6), Value(0)) << r;
    EXPECT_EQ(host.call("QVL.GetSwapInfo", {"#Swap_3"}).at(7, 1), Value(0));
    // A text rate keeps the one the swap holds now.
    EXPECT_EQ(host.call("QVL.CashflowTable", {"#Swap_3", 46042, "200"}), flat);
}

TEST_F(Calculations, RiskReadsItsRateAsTheCashflowTableDoes) {
    const Value at_200 = risk(200);
    ASSERT_EQ(at_200.rows(), 5) << at_200;
    host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-01-20", 350});
    const Value at_350 = risk(350);
    EXPECT_NE(at_350, at_200);
    // Missing, blank or text: the rate the swap holds.
    for (const Value& kept : {missing, Value(), Value("200")}) {
        EXPECT_EQ(risk(kept), at_350) << kept;
    }
    EXPECT_EQ(risk(200), at_200);
}

TEST_F(Calculations, AnEmptyRiskMeasureIsAnEmptyText) {
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
    EXPECT_EQ(grid.at(2, 1), Value(""));
    EXPECT_TRUE(grid.at(1, 1).is_number());
}

}  // namespace
