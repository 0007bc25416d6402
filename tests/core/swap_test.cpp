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
    EXPECT_EQ(floating.back().month_start, day("2030-12-01"));
    EXPECT_EQ(fixed.back().month_start, day("2030-11-01"));
    EXPECT_EQ(floating[0].payment_date, invalid_date);
    EXPECT_FALSE(floating[0].pays);
    EXPECT_EQ(floating[1].payment_date, day("2025-10-10"));
    EXPECT_EQ(fixed[0].accrual_start, day("2025-09-11"));
    EXPECT_EQ(fixed[0].accrual_end, day("2025-10-10"));
    EXPECT_EQ(fixed.back().accrual_start, day("2030-11-13"));
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

TEST(SwapConstruction, RejectsUnusableContractsAndAmounts) {
    const auto curve = make_reference_swap()->curve;
    const auto build = [&](std::shared_ptr<QVLSeries> series, double notional, double rate = 200) {
        return [=] { QVLSwap(series, curve, true, rate, notional); };
    };
    const auto reference = make_series("2030-12-11");
    expect_what(build(make_series("2030-12-14"), 1e7), "QVLSwap: end_date is not a business day");
    expect_what(build(make_series("2030-12-11", reference_rows, 0.0), 1e7),
                "QVLSwap validate_coupon: Coupon must be positive");
    expect_what(build(nullptr, 1e7), "QVLSwap: series is missing");
    expect_what([&] { QVLSwap(reference, nullptr, true, 200.0, 1e7); },
                "QVLSwap: curve is missing");
    for (double notional : {0.0, 1e-11}) {
        expect_what(build(reference, notional), "QVLSwap: non-positive notional not supported");
    }
    for (double notional : {1.000001e15, 1e308}) {
        expect_what(build(reference, notional), "QVLSwap: notional above 1e15 not supported");
    }
    for (double rate : {1.000001e6, -1e308, 1e308}) {
        expect_what(build(reference, 1e7, rate),
                    "QVLSwap: credit event rate beyond 1e6 bp in size not supported");
    }
    // The bounds themselves, and negative rates, still make swaps that value.
    EXPECT_NO_THROW(build(reference, 1e-10)());
    for (double rate : {-1e6, -50.0, 1e6}) {
        QVLSwap swap(reference, curve, false, rate, 1e15);
        const ValuationResult r = swap.calc_from_event_rate(trade_date, rate, "");
        EXPECT_TRUE(std::isfinite(r.upfront_payment)) << rate;
        EXPECT_TRUE(std::isfinite(r.upfront_fee)) << rate;
    }
}

}  // namespace
}  // namespace qvl::testing
