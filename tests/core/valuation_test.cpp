#include <gtest/gtest.h>

#include <cmath>

#include "core/calendar.hpp"
#include "core/cashflow.hpp"
#include "core/self_check.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

TEST(Valuation, ReferenceRowsForBuyerAndSeller) {
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

    // The unrounded figures at the same state.
    const ValuationState s = swap->value_at(trade_date, 200.0);
    const double coupon = swap->coupon_bps;
    EXPECT_NEAR(swap->upfront_fee(s, coupon), 0.03146156339575271, 1e-12);
    EXPECT_NEAR(swap->spread_bp(s, true), 200.72085882413998, 1e-12);
    EXPECT_NEAR(swap->spread_bp(s, false), 199.8305772166421, 1e-12);
    EXPECT_NEAR(swap->dirty_value(s, coupon), -3138.552079702518, 1e-9);
    EXPECT_NEAR(swap->accrued_interest(s, trade_date, coupon), 3879.489444444445, 1e-9);
    EXPECT_NEAR(swap->leg_value(s, coupon), 740.937364741927, 1e-9);

    // The seller sees the cash amounts reversed, the quotes as they are.
    const ValuationResult seller =
        make_reference_swap(false)->calc_from_event_rate(trade_date, 200, "");
    EXPECT_EQ(seller.upfront_fee, r.upfront_fee);
    EXPECT_EQ(seller.upfront_payment, 3138.55);
    EXPECT_EQ(seller.accrued_interest, -3879.49);
    EXPECT_EQ(seller.cash_settlement_amount, -740.94);
}

TEST(Valuation, PaymentsCountOnlyAfterTheTradeDate) {
    const auto swap = make_reference_swap();
    const double coupon = swap->coupon_bps;
    // On an accrual start nothing has accrued, and the payments of that day are gone: the value
    // the day before is higher by both discounted payments.
    const ValuationState feb11 = swap->value_at(day("2026-02-11"), 200.0);
    ValuationState feb10 = feb11;
    feb10.projection.trade_date = day("2026-02-10");
    EXPECT_EQ(swap->accrued_interest(feb11, feb11.trade_date(), coupon), 0.0);
    EXPECT_NEAR(swap->leg_value(feb10, coupon) - swap->leg_value(feb11, coupon),
                0.9975771412122265 * (16072.170555555558 - 16059.230479506776), 1e-9);
    // In the first month the writedown paid on 2025-10-10 is left out, the coupon is not.
    const ValuationState september = swap->value_at(day("2025-09-20"), 200.0);
    ValuationState october = september;
    october.projection.trade_date = day("2025-10-10");
    EXPECT_NEAR(swap->leg_value(september, coupon) - swap->leg_value(october, coupon),
                16111.111111111113, 1e-9);
}

TEST(Valuation, ZeroRateAndNoPaymentLeft) {
    const ValuationResult zero = make_reference_swap()->calc_from_event_rate(trade_date, 0.0, "");
    EXPECT_EQ(zero.conventional_spread, 0.0);
    EXPECT_EQ(zero.par_spread, 0.0);
    EXPECT_NEAR(zero.upfront_fee, -9.15, 0.01);
    EXPECT_EQ(zero.index_factor_at_maturity, 0.997583);

    // Ends after its month's publication date: after 2030-12-11 neither leg pays again.
    const auto late = make_swap(make_series("2030-12-20"));
    const ValuationResult r = late->calc_from_event_rate(day("2030-12-16"), 200.0, "");
    EXPECT_FALSE(std::isfinite(r.conventional_spread));
    EXPECT_FALSE(std::isfinite(r.par_spread));
    EXPECT_EQ(r.upfront_fee, 0.0);
    EXPECT_EQ(r.payment_date, "");
    EXPECT_EQ(r.settlement_date, "2030-12-19");
    expect_what([&] { late->calc_from_event_rate(trade_date, NAN, ""); }, no_rate);
}

void expect_values(const CashflowRow& row, const std::array<double, 6>& expected) {
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(row.date_text + " column " + std::to_string(i));
        if (std::isnan(expected[i])) {
            EXPECT_TRUE(std::isnan(row.values[i]));
        } else {
            EXPECT_NEAR(row.values[i], expected[i], 1e-9);
        }
    }
}

TEST(Cashflow, OneRowPerPublicationDateOfTheReferenceSwap) {
    const std::vector<CashflowRow> rows = cashflow_rows(*make_reference_swap(), trade_date, 200.0);
    ASSERT_EQ(rows.size(), 64u);
    const double none = std::nan("");
    EXPECT_EQ(rows[0].description, "First Index Effective/Accrual Start");
    expect_values(rows[0], {1.0, 10000000.0, none, none, none, none});
    EXPECT_EQ(rows[1].description, "Floating Payment/Accrual End/Fixed Payment/Accrual Start");
    expect_values(rows[1], {0.999986, 9999860.0, 29.0 / 360.0, 16111.111111111113, 140.0, 1.0});
    // The published writedowns up to the trade date, then the projected ones.
    EXPECT_NEAR(rows[2].values[4], 310.0, 1e-9);
    EXPECT_NEAR(rows[3].values[4], 2430.0, 1e-9);
    EXPECT_NEAR(rows[4].values[4], 21290.0, 1e-9);
    EXPECT_EQ(rows[5].date_text, "2026-02-11");
    expect_values(rows[5], {0.9959770769520493, 9959770.769520493, 29.0 / 360.0, 16072.170555555558,
                            16059.230479506776, 0.9975771412122265});
    EXPECT_EQ(rows[63].description, "Floating Payment/Accrual End/Fixed Payment");
    expect_values(rows[63], {0.90300152498261, 9030015.2498261, 28.0 / 360.0, 14068.5577994663,
                             14057.62125937827, 0.8512640997507235});
}

TEST(Cashflow, ZeroRateKeepsTheLastPublishedFactor) {
    const std::vector<CashflowRow> rows = cashflow_rows(*make_reference_swap(), trade_date, 0.0);
    EXPECT_NEAR(rows[4].values[4], 21290.0, 1e-9);
    for (std::size_t i = 5; i < rows.size(); ++i) EXPECT_EQ(rows[i].values[4], 0.0);
}

TEST(SelfCheck, ReferenceScenarioPassesAndMismatchesNameBothFigures) {
    EXPECT_EQ(run_self_check(), "ok");
    expect_what([] { check_close(0.9657, 0.9657051100400302, 1e-10, "DF not matching"); },
                "DF not matching (expected 0.96570511004, got 0.9657)");
    expect_what([] { check_close(1.5, 1.0, 0.5, "m"); }, "m (expected 1, got 1.5)");
    expect_what([] { check_close(std::nan(""), 1.0, INFINITY, "m"); }, "m (expected 1, got nan)");
    expect_what([] { check_close(INFINITY, 1.0, INFINITY, "m"); }, "m (expected 1, got inf)");
}

}  // namespace
}  // namespace qvl::testing
