// What a swap remembers of its latest valuation: the rate and trade date the worksheet and the
// service show, also after a failure, and the projection a payment at the held rate reads.

#include <gtest/gtest.h>

#include <cmath>

#include "core/cashflow.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

TEST(Remembered, FailedValuationsKeepWhatTheyTookBeforeFailing) {
    const auto swap = make_reference_swap();
    EXPECT_EQ(swap->tradeDate(), invalid_date);
    const Date maturity = day("2030-12-11");
    const Date too_early = day("2025-09-10");
    const auto expect_held = [&](double rate, Date date) {
        EXPECT_EQ(swap->eventRate(), rate);
        EXPECT_EQ(swap->tradeDate(), date);
    };
    expect_what([&] { swap->calc_from_event_rate(maturity, 300.0, ""); }, after_end);
    expect_held(300.0, maturity);
    // A cashflow table takes the rate only once the series has accepted the date.
    expect_what([&] { cashflow_rows(*swap, too_early, 400.0); }, before_start);
    expect_held(300.0, too_early);
    // A PnL takes its rate and close date, then each trade's date in turn.
    expect_what([&] { swap->trade_pnl(too_early, 100, trade_date, 100, "", 250.0); }, before_start);
    expect_held(250.0, too_early);
    // A search that fails is left at the first point it tried.
    expect_what([&] { swap->solve_from_spread(maturity, 200.0, ""); },
                "QVL Swap calculator is unable to solve for the Credit Event Rate given a "
                "Conventional Spread of 200.000000 bps");
    const double lower = 200.0 / 1.1 - 0.0001;
    const double upper = 200.0 * 1.1 + 0.0001;
    expect_held(lower + 0.3819660112501051 * (upper - lower), maturity);

    // A valuation that succeeds is what cashflows and payments read afterwards.
    cashflow_rows(*swap, trade_date, 200.0);
    expect_held(200.0, trade_date);
}

TEST(Remembered, PaymentAtTheHeldRateReadsTheLatestValuation) {
    const auto swap = make_reference_swap();
    swap->calc_from_event_rate(day("2025-10-15"), 200.0, "");
    const TradePayment after_october = swap->trade_payment(trade_date, 100.0, true, 0.0);
    // The current notional is the trade date's own; the accrued coupon is on January's notional
    // as the October valuation projected it from October's factor.
    EXPECT_NEAR(after_october.current_notional, 9975830.0, 1e-9);
    const double projected_january =
        0.999986 * std::exp(-year_fraction_act360(day("2025-10-10"), day("2026-01-13")) * 0.02);
    EXPECT_NEAR(
        after_october.accrued_interest,
        year_fraction_act360(day("2026-01-13"), trade_date) * 0.02 * projected_january * 1e7, 1e-9);
    EXPECT_EQ(swap->tradeDate(), trade_date);

    // A valuation at the trade date itself gives January's published factor.
    swap->calc_from_event_rate(trade_date, 200.0, "");
    EXPECT_NEAR(swap->trade_payment(trade_date, 100.0, true, 0.0).accrued_interest,
                3879.489444444445, 1e-9);
}

}  // namespace
}  // namespace qvl::testing
