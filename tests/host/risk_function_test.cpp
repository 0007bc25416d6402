// QVL.Risk through the stand-in host: how it reads its rate and dates from cells, and how a
// measure that cannot be made shows. The figures are pinned by the core and the transcript.

#include <string>
#include <vector>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

const Value missing = Value::missing();

class RiskWorkbook : public Workbook {
  protected:
    void SetUp() override {
        Workbook::SetUp();
        build_reference();
    }
    Value risk(const Value& rate) { return host.call("QVL.Risk", {"#Swap_3", "2026-01-20", rate}); }
};

TEST_F(RiskWorkbook, RateIsReadAsTheCashflowTableReadsIt) {
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

TEST_F(RiskWorkbook, BadInputsAnswerTheValuationsMessages) {
    for (const Value& t : {Value(""), Value(-1), Value("2026-02-30"), Value("x"),
                           Value("2030-12-11"), Value("2025-01-02")}) {
        SCOPED_TRACE(t);
        const Value message = host.call("QVL.Risk", {"#Swap_3", t, 200});
        EXPECT_TRUE(message.is_text()) << message;
        EXPECT_EQ(message, host.call("QVL.CalcFromEventRate", {"#Swap_3", t, 200}));
    }
    expect_calls({
        {"QVL.Risk", {"#Swap_3", -1}, "Invalid trade date"},
        {"QVL.Risk", {"#Swap_9", "2026-01-20"}, "Swap handle not found: #Swap_9"},
        {"QVL.Risk", {"#YC_1", "2026-01-20"}, "Swap handle not found: #YC_1"},
    });
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

}  // namespace
