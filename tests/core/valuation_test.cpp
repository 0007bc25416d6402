#include <gtest/gtest.h>

#include <cmath>

#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

TEST(Valuation, ReferenceRowsForTheBuyer) {
    const auto swap = make_reference_swap();
    const ValuationResult r = swap->calc_from_event_rate(trade_date, 200.0, "2026-01-20");
    EXPECT_EQ(r.upfront_fee, 0.03146156);
    EXPECT_EQ(r.conventional_spread, 200.720859);
    EXPECT_EQ(r.par_spread, 199.830577);
    EXPECT_EQ(r.credit_event_rate, 200.0);
    EXPECT_EQ(r.clean_price, 99.96853844);
    EXPECT_EQ(r.current_notional, 9975830.0);
    EXPECT_EQ(r.upfront_payment, -3138.55);
    EXPECT_EQ(r.accrued_interest, 3879.49);
    EXPECT_EQ(r.cash_settlement_amount, 740.94);
    EXPECT_EQ(r.index_factor_at_trade, 0.997583);
    EXPECT_EQ(r.index_factor_at_maturity, 0.90300152);
    EXPECT_EQ(r.trade_date, "2026-01-20");
    EXPECT_EQ(r.settlement_date, "2026-01-23");
    EXPECT_EQ(r.payment_date, "2026-02-11");
    EXPECT_EQ(r.ois_date, "2026-01-20");
    EXPECT_EQ(swap->eventRate(), 200.0);
    EXPECT_EQ(swap->tradeDate(), trade_date);

    // The unrounded figures at the same state.
    const ValuationState s = swap->value_at(trade_date, 200.0);
    const double coupon = swap->coupon_bps;
    EXPECT_NEAR(swap->upfront_fee(s, coupon), 0.03146156339575271, 1e-12);
    EXPECT_NEAR(swap->spread_bp(s, true), 200.72085882413998, 1e-12);
    EXPECT_NEAR(swap->spread_bp(s, false), 199.8305772166421, 1e-12);
    EXPECT_NEAR(swap->dirty_value(s, coupon), -3138.552079702518, 1e-9);
    EXPECT_NEAR(swap->accrued_interest(s, trade_date, coupon), 3879.489444444445, 1e-9);
    EXPECT_NEAR(swap->leg_value(s, coupon), 740.937364741927, 1e-9);
}

TEST(Valuation, SellerSeesTheCashAmountsReversed) {
    const ValuationResult b = make_reference_swap(true)->calc_from_event_rate(trade_date, 200, "");
    const ValuationResult s = make_reference_swap(false)->calc_from_event_rate(trade_date, 200, "");
    EXPECT_EQ(s.upfront_fee, b.upfront_fee);
    EXPECT_EQ(s.conventional_spread, b.conventional_spread);
    EXPECT_EQ(s.par_spread, b.par_spread);
    EXPECT_EQ(s.clean_price, b.clean_price);
    EXPECT_EQ(s.current_notional, b.current_notional);
    EXPECT_EQ(s.upfront_payment, 3138.55);
    EXPECT_EQ(s.accrued_interest, -3879.49);
    EXPECT_EQ(s.cash_settlement_amount, -740.94);
    EXPECT_EQ(s.index_factor_at_maturity, b.index_factor_at_maturity);
    EXPECT_EQ(s.payment_date, b.payment_date);
}

// The same amounts with payments counted after another trade date.
ValuationState cut_at(ValuationState s, Date t) {
    s.projection.trade_date = t;
    return s;
}

TEST(Valuation, PaymentsCountOnlyAfterTheTradeDate) {
    const auto swap = make_reference_swap();
    const double coupon = swap->coupon_bps;
    // On an accrual start nothing has accrued, and the payments of that day are gone.
    const ValuationState feb11 = swap->value_at(day("2026-02-11"), 200.0);
    const ValuationState feb10 = cut_at(feb11, day("2026-02-10"));
    EXPECT_EQ(swap->accrued_interest(feb11, feb11.trade_date(), coupon), 0.0);
    EXPECT_EQ(swap->dirty_value(feb11, coupon), swap->leg_value(feb11, coupon));
    const FloatingPeriod& floating = swap->floating_periods()[5];
    const FixedPeriod& fixed = swap->fixed_periods()[4];
    EXPECT_NEAR(swap->floating_leg_pv(feb10) - swap->floating_leg_pv(feb11),
                floating.discount_factor * feb11.floating[5].writedown_payment, 1e-9);
    EXPECT_NEAR(swap->fixed_leg_pv(feb10, coupon) - swap->fixed_leg_pv(feb11, coupon),
                fixed.discount_factor * swap->fixed_payment(feb11, 4, coupon), 1e-9);

    // In the first month the writedown paid on 2025-10-10 is left out, the coupon is not.
    const ValuationState september = swap->value_at(day("2025-09-20"), 200.0);
    const ValuationState october = cut_at(september, day("2025-10-10"));
    EXPECT_EQ(swap->floating_leg_pv(september), swap->floating_leg_pv(october));
    EXPECT_NEAR(swap->fixed_leg_pv(september, coupon) - swap->fixed_leg_pv(october, coupon),
                swap->fixed_payment(september, 0, coupon), 1e-9);
}

TEST(Valuation, ZeroEventRateLeavesNoWritedownToValue) {
    const auto swap = make_reference_swap();
    const ValuationResult r = swap->calc_from_event_rate(trade_date, 0.0, "");
    EXPECT_EQ(swap->floating_leg_pv(swap->value_at(trade_date, 0.0)), 0.0);
    EXPECT_EQ(r.conventional_spread, 0.0);
    EXPECT_EQ(r.par_spread, 0.0);
    EXPECT_NEAR(r.upfront_fee, -9.15, 0.01);
    EXPECT_EQ(r.index_factor_at_maturity, 0.997583);
}

TEST(Valuation, NothingLeftToPayAfterTheLastPublication) {
    // Ends after its month's publication date: after 2030-12-11 neither leg pays again.
    const auto swap = make_swap(make_series("2030-12-20"));
    const ValuationResult r = swap->calc_from_event_rate(day("2030-12-16"), 200.0, "");
    EXPECT_FALSE(std::isfinite(r.conventional_spread));
    EXPECT_FALSE(std::isfinite(r.par_spread));
    EXPECT_EQ(r.upfront_fee, 0.0);
    EXPECT_EQ(r.payment_date, "");
    EXPECT_EQ(r.settlement_date, "2030-12-19");
}

TEST(Valuation, FailuresComeFromTheSeries) {
    const auto swap = make_reference_swap();
    expect_runtime_error([&] { swap->calc_from_event_rate(day("2030-12-11"), 200.0, ""); },
                         "QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date");
    expect_runtime_error([&] { swap->calc_from_event_rate(trade_date, std::nan(""), ""); },
                         "QVLSeries interpolate_writedown_factor: eventRate not set");
}

}  // namespace
}  // namespace qvl::testing
