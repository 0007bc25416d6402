#include <gtest/gtest.h>

#include <cmath>

#include "core/cashflow.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

TEST(TradePnl, ReferenceTradeFromStartToTradeDate) {
    const auto swap = make_reference_swap();
    const PnLResult r = swap->trade_pnl(day("2025-09-11"), 100.4523, trade_date, 99.5477, "x", 200);
    EXPECT_NEAR(r.current_notional_trade, 10000000.0, 1e-9);
    EXPECT_NEAR(r.upfront_payment_trade, 45230.0, 1e-9);
    EXPECT_EQ(r.accrued_interest_trade, 0.0);
    EXPECT_NEAR(r.total_payment_trade, 45230.0, 1e-9);
    EXPECT_NEAR(r.current_notional_close, 9975830.0, 1e-9);
    EXPECT_NEAR(r.upfront_payment_close, 45120.67909, 1e-9);
    EXPECT_NEAR(r.accrued_interest_close, -3879.489444444445, 1e-9);
    EXPECT_NEAR(r.total_payment_close, 41241.189645555, 1e-8);
    // Four coupons: 16111.11 + 18888.62 + 14999.325 + 18883.45, up to 2026-01-13.
    EXPECT_NEAR(r.fixed_payments, -68882.509444444, 1e-8);
    EXPECT_NEAR(r.floating_payments, 24170.0, 1e-9);
    EXPECT_NEAR(r.trade_pnl, 41758.680201111, 1e-8);
    EXPECT_EQ(r.trade_init_date, "2025-09-16");
    EXPECT_EQ(r.trade_close_date, "2026-01-23");
    EXPECT_EQ(r.ois_date, "x");
    EXPECT_NEAR(swap->get_trade_total_payment(trade_date, 99.5477, NAN), 41241.189645555, 1e-8);

    const PnLResult same = swap->trade_pnl(trade_date, 99.0, trade_date, 99.5477, "", 200);
    EXPECT_EQ(same.fixed_payments, 0.0);
    EXPECT_EQ(same.floating_payments, 0.0);
    EXPECT_EQ(same.trade_pnl, same.total_payment_trade + same.total_payment_close);
    expect_what([&] { swap->trade_pnl(day("2025-09-11"), 100, trade_date, 100, "", NAN); },
                no_rate);
}

TEST(TradePayment, SignsFollowSideAndDirection) {
    const auto buyer = make_reference_swap(true);
    const TradePayment b = buyer->trade_payment(trade_date, 99.5477, true, 200.0);
    EXPECT_NEAR(b.total_payment, -41241.189645555, 1e-8);  // the reference trade's close reversed

    const TradePayment s =
        make_reference_swap(false)->trade_payment(trade_date, 99.5477, true, 200);
    EXPECT_EQ(s.upfront_payment, -b.upfront_payment);
    EXPECT_EQ(s.accrued_interest, -b.accrued_interest);
    const TradePayment close = buyer->trade_payment(trade_date, 99.5477, false, 0.0);
    EXPECT_EQ(close.total_payment, -b.total_payment);
    const TradePayment par = buyer->trade_payment(trade_date, 100.0, true, 200.0);
    EXPECT_EQ(par.upfront_payment, 0.0);
    EXPECT_EQ(par.total_payment, par.accrued_interest);
}

TEST(TradePayment, UsesTheSwapsOwnProjection) {
    // Never valued: the periods are projected first instead of failing.
    const auto fresh = make_reference_swap();
    EXPECT_NEAR(fresh->trade_payment(trade_date, 99.5477, true, 0.0).accrued_interest,
                3879.489444444445, 1e-9);

    // Another swap on the same series leaves its rate there; the payment reads its own.
    make_swap(fresh->series, 900.0)->calc_from_event_rate(day("2026-03-20"), 900.0, "");
    const TradePayment again = fresh->trade_payment(day("2026-03-20"), 99.5477, true, 0.0);
    // January's factor decayed at 200 bp over the 57 days to 2026-03-11.
    EXPECT_NEAR(again.current_notional, 9944289.836615168, 1e-7);
}

// What a swap remembers of its latest valuation: the rate and trade date the worksheet and the
// service show, also after a failure, and the projection a payment at the held rate reads.
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
    // 7 days at 2 % on 0.999986 decayed over 95 days at 200 bp.
    EXPECT_NEAR(after_october.accrued_interest, 3868.364106895054, 1e-8);
    EXPECT_EQ(swap->tradeDate(), trade_date);

    // A valuation at the trade date itself gives January's published factor.
    swap->calc_from_event_rate(trade_date, 200.0, "");
    EXPECT_NEAR(swap->trade_payment(trade_date, 100.0, true, 0.0).accrued_interest,
                3879.489444444445, 1e-9);
}

}  // namespace
}  // namespace qvl::testing
