// QVL.Risk through the stand-in host, the one calculation the scenario comparison never calls:
// its messages and the rate it reads. Every other valuation, solve, payment, PnL, cashflow table
// and curve function, their messages and the rate each reads or leaves on the swap, are that
// comparison's; an empty risk figure is the core's and the framework's.

#include <string>
#include <vector>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

const Value missing = Value::missing();

class RiskFunction : public Workbook {
  protected:
    void SetUp() override {
        Workbook::SetUp();
        build_reference();
    }
    Value risk(const Value& rate) { return host.call("QVL.Risk", {"#Swap_3", "2026-01-20", rate}); }
};

TEST_F(RiskFunction, MessagesReplaceTheGrid) {
    std::vector<Call> calls;
    for (const Value& date : {Value(""), Value(-1), Value("2026-02-30"), Value("2026-1-21")}) {
        calls.push_back({"QVL.Risk", {"#Swap_3", date, 200}, "Invalid trade date"});
    }
    calls.push_back({"QVL.Risk", {"#Swap_3", "x", 200}, "invalid stoi argument"});
    calls.push_back({"QVL.Risk", {"#YC_1", "2026-01-20"}, "Swap handle not found: #YC_1"});
    calls.push_back({"QVL.Risk",
                     {"#Swap_3", "2030-12-11"},
                     "QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date"});
    expect_calls(calls);
}

TEST_F(RiskFunction, ReadsItsRateAsTheCashflowTableDoes) {
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
