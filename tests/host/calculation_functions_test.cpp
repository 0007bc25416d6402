// Valuations, solves, payments, the cashflow table, the risk and the curve functions through the
// stand-in host: what reaches the cells beyond the figures, which the core, the qvl-host
// transcript and the scenario comparison pin. That comparison also pins the rate a payment or
// cashflow table reads (missing, a number, a boolean, a text) and what it leaves on the swap; it
// never calls QVL.Risk. An empty risk figure is the core's and the framework's (a non-finite
// number shows empty).

#include <string>
#include <vector>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

const Value missing = Value::missing();

class Calculations : public Workbook {
  protected:
    void SetUp() override {
        Workbook::SetUp();
        build_reference();
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
    // The core's own messages (solves that fail, dates past the end) are the core tests'.
    expect_calls({
        {"QVL.CashflowTable",
         {"#Swap_3", "2030-12-11"},
         "QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date"},
        {"QVL.Risk", {"#YC_1", "2026-01-20"}, "Swap handle not found: #YC_1"},
        {"QVL.TradePnL", {"#Swap_3", "2025-09-11", 100, missing, 99}, "Invalid trade date(s)"},
        {"QVL.TradePnL", {"#Swap_3", "2025-09-11", 100, "2026-02-30", 99}, "Invalid trade date(s)"},
        {"QVL.TradePnL", {"#Swap_3", "hello", 100, "2026-01-20", 99}, "invalid stoi argument"},
    });
    // A valuation after the failures is unharmed.
    EXPECT_EQ(host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-01-20", 200}).at(6, 1),
              Value(-3138.55));
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

}  // namespace
