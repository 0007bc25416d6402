#include <gtest/gtest.h>

#include <cmath>

#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

TEST(SwapSchedule, MonthlyLegsOfTheReferenceSwap) {
    const auto swap = make_reference_swap();
    const auto& floating = swap->floating_periods();
    const auto& fixed = swap->fixed_periods();
    ASSERT_EQ(floating.size(), 64u);
    ASSERT_EQ(fixed.size(), 63u);
    EXPECT_EQ(floating.front().month_start, day("2025-09-01"));
    EXPECT_EQ(floating.back().month_start, day("2030-12-01"));
    EXPECT_EQ(fixed.back().month_start, day("2030-11-01"));

    EXPECT_EQ(floating[0].publication_date, day("2025-09-11"));
    EXPECT_EQ(floating[0].payment_date, invalid_date);
    EXPECT_TRUE(std::isnan(floating[0].discount_factor));
    EXPECT_FALSE(floating[0].pays);
    EXPECT_EQ(floating[1].publication_date, day("2025-10-10"));
    EXPECT_EQ(floating[1].payment_date, day("2025-10-10"));
    EXPECT_EQ(floating.back().publication_date, day("2030-12-11"));

    EXPECT_EQ(fixed[0].accrual_start, day("2025-09-11"));
    EXPECT_EQ(fixed[0].accrual_end, day("2025-10-10"));
    EXPECT_EQ(fixed[0].accrual_factor, 29.0 / 360.0);
    EXPECT_EQ(fixed[0].payment_date, day("2025-10-10"));
    EXPECT_EQ(fixed.back().accrual_start, day("2030-11-13"));
    EXPECT_EQ(fixed.back().accrual_end, day("2030-12-11"));
    EXPECT_EQ(fixed.back().payment_date, day("2030-12-11"));
}

TEST(SwapSchedule, EveryFixedPeriodHasAFollowingFloatingPeriod) {
    // A January month end keeps both January and February on the floating leg.
    const auto january = make_swap(make_series("2030-01-31"));
    EXPECT_EQ(january->fixed_periods().back().month_start, day("2030-01-01"));
    EXPECT_EQ(january->floating_periods().back().month_start, day("2030-02-01"));

    // An April month end would end both legs in April; the floating leg takes May as well.
    const auto april = make_swap(make_series("2030-04-30"));
    const auto& fixed = april->fixed_periods();
    const auto& floating = april->floating_periods();
    EXPECT_EQ(fixed.back().month_start, day("2030-04-01"));
    ASSERT_EQ(floating.size(), fixed.size() + 1);
    EXPECT_EQ(floating.back().month_start, day("2030-05-01"));
    EXPECT_EQ(fixed.back().payment_date, fixed.back().accrual_end);
    EXPECT_EQ(fixed.back().payment_date, floating.back().payment_date);
}

TEST(SwapSchedule, ProjectionSetsNotionalsAndPayments) {
    const auto swap = make_reference_swap();
    const ValuationState state = swap->value_at(trade_date, 200.0);
    EXPECT_EQ(state.trade_date(), trade_date);
    EXPECT_EQ(state.event_rate(), 200.0);
    ASSERT_EQ(state.floating.size(), swap->floating_periods().size());
    EXPECT_EQ(swap->fixed_periods()[4].accrual_start, day("2026-01-13"));
    EXPECT_NEAR(state.floating[4].current_notional, 9975830.0, 1e-9);
    EXPECT_NEAR(swap->fixed_payment(state, 4, swap->coupon_bps), 16072.170555555558, 1e-9);
    EXPECT_EQ(swap->floating_periods()[5].publication_date, day("2026-02-11"));
    EXPECT_NEAR(swap->floating_periods()[5].discount_factor, 0.9975771412122265, 1e-15);
    const FloatingAmounts& feb = state.floating[5];
    EXPECT_NEAR(feb.index_factor, 0.9959770769520493, 1e-15);
    EXPECT_NEAR(feb.current_notional, 9959770.769520493, 1e-9);
    EXPECT_NEAR(feb.writedown_payment, 16059.230479506776, 1e-9);
    const double published[] = {140.0, 310.0, 2430.0, 21290.0};
    for (std::size_t k = 1; k <= 4; ++k) {
        EXPECT_NEAR(state.floating[k].writedown_payment, published[k - 1], 1e-9);
    }
    EXPECT_TRUE(std::isnan(state.floating[0].writedown_payment));
}

TEST(SwapConstruction, RejectsUnusableContracts) {
    const auto curve = make_reference_swap()->curve;
    const auto build = [&](std::shared_ptr<QVLSeries> series, double notional) {
        return [=] { QVLSwap(series, curve, true, 200.0, notional); };
    };
    expect_runtime_error(build(make_series("2030-12-14"), 1e7),
                         "QVLSwap: end_date is not a business day");
    expect_runtime_error(build(make_series("2030-12-11", reference_rows, 0.0), 1e7),
                         "QVLSwap validate_coupon: Coupon must be positive");
    expect_runtime_error(build(make_series("2030-12-11"), 0.0),
                         "QVLSwap: non-positive notional not supported");
    expect_runtime_error(build(make_series("2030-12-11"), 1e-11),
                         "QVLSwap: non-positive notional not supported");
    EXPECT_NO_THROW(build(make_series("2030-12-11"), 1e-10)());

    expect_runtime_error(build(nullptr, 1e7), "QVLSwap: series is missing");
    expect_runtime_error([&] { QVLSwap(make_series("2030-12-11"), nullptr, true, 200.0, 1e7); },
                         "QVLSwap: curve is missing");
}

TEST(SwapConstruction, RejectsAmountsNoValuationCanCarry) {
    const auto curve = make_reference_swap()->curve;
    const auto build = [&](double rate, double notional) {
        return [=] { QVLSwap(make_series("2030-12-11"), curve, true, rate, notional); };
    };
    for (double notional : {1.000001e15, 1e308}) {
        expect_runtime_error(build(200.0, notional), "QVLSwap: notional above 1e15 not supported");
    }
    for (double rate : {1.000001e6, -1e308, 1e308}) {
        expect_runtime_error(build(rate, 1e7),
                             "QVLSwap: credit event rate beyond 1e6 bp in size not supported");
    }
    // The bounds themselves, and negative rates, still make swaps that value.
    for (double rate : {-1e6, -50.0, 1e6}) {
        QVLSwap swap(make_series("2030-12-11"), curve, false, rate, 1e15);
        const ValuationResult r = swap.calc_from_event_rate(trade_date, rate, "");
        EXPECT_TRUE(std::isfinite(r.upfront_payment)) << rate;
        EXPECT_TRUE(std::isfinite(r.upfront_fee)) << rate;
    }
}

}  // namespace
}  // namespace qvl::testing
