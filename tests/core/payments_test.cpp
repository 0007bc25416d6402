#include <gtest/gtest.h>

#include <cmath>

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
    EXPECT_NEAR(b.current_notional, 9975830.0, 1e-9);
    EXPECT_NEAR(b.upfront_payment, -45120.67909, 1e-9);
    EXPECT_NEAR(b.accrued_interest, 3879.489444444445, 1e-9);
    EXPECT_NEAR(b.total_payment, -41241.189645555, 1e-8);

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
    const double own_factor = 0.997583 * std::exp(-57.0 / 360.0 * 0.02);  // 2026-03-11
    EXPECT_NEAR(again.current_notional, own_factor * 1e7, 1e-7);
}

}  // namespace
}  // namespace qvl::testing
