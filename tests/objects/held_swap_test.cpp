// What a swap handle remembers of its latest valuation: the rate and trade date the worksheet
// and the service show, also after a failure, and the projection a payment at the held rate
// reads.

#include "objects/held_swap.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "../core/swap_test_support.hpp"
#include "objects/object_cache.hpp"

namespace qvl::testing {
namespace {

using objects::HeldSwap;
using objects::ObjectCache;
using objects::SwapHandle;

class Held : public ::testing::Test {
  protected:
    std::shared_ptr<const SwapHandle> make_handle() {
        return std::make_shared<const SwapHandle>(make_reference_swap());
    }
    void expect_held(const HeldSwap& swap, double rate, Date date) {
        EXPECT_EQ(swap.memory().event_rate, rate);
        EXPECT_EQ(swap.memory().trade_date, date);
    }
    ObjectCache cache;
    const objects::Calculation calculation = cache.calculation();
    HeldSwap swap = calculation.hold(make_handle());
};

TEST_F(Held, FailedValuationsKeepWhatTheyTookBeforeFailing) {
    expect_held(swap, 200.0, invalid_date);
    const Date maturity = day("2030-12-11");
    const Date too_early = day("2025-09-10");
    expect_what([&] { swap.calc_from_event_rate(maturity, 300.0); }, after_end);
    expect_held(swap, 300.0, maturity);
    // A cashflow table takes the rate only once the series has accepted the date.
    expect_what([&] { swap.cashflow_rows(too_early, 400.0); }, before_start);
    expect_held(swap, 300.0, too_early);
    // A PnL takes its rate and close date, then each trade's date in turn.
    expect_what([&] { swap.trade_pnl(too_early, 100, trade_date, 100, 250.0); }, before_start);
    expect_held(swap, 250.0, too_early);
    // A search that fails is left at the first point it tried.
    expect_what([&] { swap.solve_from_spread(maturity, 200.0); },
                "QVL Swap calculator is unable to solve for the Credit Event Rate given a "
                "Conventional Spread of 200.000000 bps");
    const double lower = 200.0 / 1.1 - 0.0001;
    const double upper = 200.0 * 1.1 + 0.0001;
    expect_held(swap, lower + 0.3819660112501051 * (upper - lower), maturity);
    // A valuation that succeeds is what cashflows and payments read afterwards.
    swap.cashflow_rows(trade_date, std::nullopt);
    expect_held(swap, lower + 0.3819660112501051 * (upper - lower), trade_date);
    swap.cashflow_rows(trade_date, 200.0);
    expect_held(swap, 200.0, trade_date);
}

TEST_F(Held, PaymentAtTheHeldRateReadsTheLatestValuation) {
    // Never valued: the periods are projected first instead of failing.
    EXPECT_NEAR(swap.trade_payment(trade_date, 100.0, true, std::nullopt).accrued_interest,
                3879.489444444445, 1e-9);
    // The current notional is the trade date's own; the accrued coupon is on January's notional
    // as the October valuation projected it from October's factor: 7 days at 2 % on 0.999986
    // decayed over 95 days at 200 bp.
    swap.calc_from_event_rate(day("2025-10-15"), 200.0);
    const TradePayment after_october = swap.trade_payment(trade_date, 100.0, true, std::nullopt);
    EXPECT_NEAR(after_october.current_notional, 9975830.0, 1e-9);
    EXPECT_NEAR(after_october.accrued_interest, 3868.364106895054, 1e-8);
    expect_held(swap, 200.0, trade_date);
    // A valuation that fails on its date takes its rate but keeps the projection before it.
    expect_what([&] { swap.calc_from_event_rate(day("2030-12-11"), 300.0); }, after_end);
    EXPECT_NEAR(swap.trade_payment(trade_date, 100.0, true, std::nullopt).accrued_interest,
                3868.364106895054, 1e-8);
    swap.calc_from_event_rate(day("2025-10-15"), 200.0);
    // The held rate given explicitly reads the same; a new one projects afresh and is kept.
    EXPECT_EQ(swap.trade_payment(trade_date, 100.0, true, 200.0).accrued_interest,
              after_october.accrued_interest);
    EXPECT_NEAR(swap.trade_payment(day("2026-03-20"), 99.5477, true, 900.0).current_notional,
                swap.swap().trade_payment(day("2026-03-20"), 99.5477, true, 900.0).current_notional,
                0.0);
    expect_held(swap, 900.0, day("2026-03-20"));
}

TEST_F(Held, RiskLeavesWhatAValuationAtItsRateLeaves) {
    HeldSwap valued = calculation.hold(make_handle());
    swap.solve_from_spread(trade_date, 300.0);  // some other state first
    swap.risk(day("2026-02-17"), 350.0);
    valued.calc_from_event_rate(day("2026-02-17"), 350.0);
    const auto same_memory = [&] {
        EXPECT_EQ(swap.memory().event_rate, valued.memory().event_rate);
        EXPECT_EQ(swap.memory().trade_date, valued.memory().trade_date);
        EXPECT_EQ(swap.trade_payment(day("2026-03-02"), 99.5, true, std::nullopt).total_payment,
                  valued.trade_payment(day("2026-03-02"), 99.5, true, std::nullopt).total_payment);
    };
    same_memory();
    // Without a rate, the held one; a failure leaves the memory as the valuation's failure.
    EXPECT_EQ(swap.risk(trade_date, std::nullopt).upfront_payment,
              swap.swap().calc_from_event_rate(trade_date, 350.0).upfront_payment);
    expect_what([&] { swap.risk(day("2025-01-02"), 250.0); }, before_start);
    expect_what([&] { valued.calc_from_event_rate(day("2025-01-02"), 250.0); }, before_start);
    same_memory();
}

}  // namespace
}  // namespace qvl::testing
