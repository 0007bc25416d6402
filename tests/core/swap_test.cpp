#include <gtest/gtest.h>

#include <cmath>

#include "core/calendar.hpp"
#include "core/self_check.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

TEST(Series, RollsEachFactorToTheFollowingPublicationDate) {
    const auto series = make_series("2030-12-11");
    ASSERT_EQ(series->factors.size(), 5u);
    EXPECT_EQ(series->factors[2].roll_date, day("2025-11-13"));
    EXPECT_EQ(series->factors[4].roll_date, day("2026-01-13"));
}

TEST(Series, ConstructionRejectsUnusableInput) {
    const auto build = [](const FactorRows& rows, const char* maturity = "2030-12-11",
                          double coupon = 2.0, const char* start = "2025-09-11") {
        return [=] { QVLSeries("1", "n", day(start), day(maturity), coupon, rows); };
    };
    // A weekend start, rows of zeros only, unordered rows and a maturity on the start date are
    // the scenario comparison's series faults.
    const std::string prefix = "QVLSeries validate: ";
    // A row dated on a publication date rolls to the next month's.
    expect_what(build({{day("2025-09-11"), 1.0}}),
                prefix + "index factors start date is after start_date");
    const FactorRows one = {{day("2025-09-01"), 1.0}};
    expect_what(build(one, "2024-01-02"), prefix + "maturity_date is not after start_date");
    for (double coupon : {10000.5, -1e308}) {
        expect_what(build(one, "2030-12-11", coupon),
                    prefix + "coupon beyond 10000 % not supported");
    }
    expect_what(build({{day("2025-09-01"), 1e308}}),
                prefix + "writedown factor above 1e6 not supported");
    // A day of life, a negative coupon (which the swap refuses) and the bounds themselves pass.
    EXPECT_NO_THROW(build(one, "2025-09-12")());
    EXPECT_NO_THROW(build(one, "2030-12-11", -2.0)());
    EXPECT_NO_THROW(build({{day("2025-09-01"), 1e6}}, "2030-12-11", 10000.0)());
}

TEST(Series, PublishedFactorsUntilProjectionStartThenDecayAndWhatTheLookupNeeds) {
    const auto series = make_series("2030-12-11");
    const FactorProjection at = series->validate_tradeDate(trade_date, 200.0);
    EXPECT_EQ(at.projection_start, day("2026-02-11"));
    const auto factor = [&](const char* d) {
        return series->interpolate_writedown_factor(at, day(d));
    };
    EXPECT_EQ(factor("2026-01-20"), 0.997583);
    EXPECT_EQ(factor("2025-11-12"), 0.999986);
    EXPECT_NEAR(factor("2026-03-11"), 0.9944289836615168, 1e-15);
    EXPECT_EQ(factor("2026-02-20"), factor("2026-02-11"));
    // The shortcut for publication dates agrees with the general lookup on every one of them.
    for (Date p = day("2025-09-11"); p < day("2031-01-01"); p = next_publication_date(p, true)) {
        EXPECT_EQ(series->writedown_factor_at_publication(at, p),
                  series->interpolate_writedown_factor(at, p));
    }
    // A trade date past the projection start reads its own factor from the latest publication.
    const Date march = day("2026-03-20");
    EXPECT_NEAR(series->interpolate_writedown_factor(series->validate_tradeDate(march, 200), march),
                0.9944289836615168, 1e-15);
    // The lookup needs a trade date, a rate and a factor history reaching back to the date.
    const std::string prefix = "QVLSeries interpolate_writedown_factor: ";
    expect_what([&] { series->interpolate_writedown_factor({}, trade_date); },
                prefix + "tradeDate not set");
    const FactorProjection no_rate_set = series->validate_tradeDate(trade_date, NAN);
    expect_what([&] { series->interpolate_writedown_factor(no_rate_set, trade_date); }, no_rate);
    expect_what([&] { factor("2025-09-10"); }, prefix + "date_in is before first series roll date");
}

// The schedules, month-end maturities among them, are pinned row by row by the cashflow tables of
// the scenario comparison.
TEST(SwapConstruction, RejectsUnusableContractsAndAmounts) {
    const auto curve = make_reference_swap()->curve;
    const auto build = [&](std::shared_ptr<QVLSeries> series, double notional, double rate = 200) {
        return [=] { QVLSwap(series, curve, true, rate, notional); };
    };
    // A weekend maturity, a coupon of 0 and a notional of 0 are the scenario comparison's.
    const auto reference = make_series("2030-12-11");
    expect_what(build(nullptr, 1e7), "QVLSwap: series is missing");
    expect_what([&] { QVLSwap(reference, nullptr, true, 200.0, 1e7); },
                "QVLSwap: curve is missing");
    expect_what(build(reference, 1e-11), "QVLSwap: non-positive notional not supported");
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
        const ValuationResult r = swap.calc_from_event_rate(trade_date, rate);
        EXPECT_TRUE(std::isfinite(r.upfront_payment)) << rate;
        EXPECT_TRUE(std::isfinite(r.upfront_fee)) << rate;
    }
}

// The rounded rows, the seller's among them, are pinned by examples/reference.out; the
// unrounded figures behind them are pinned here.
TEST(Valuation, UnroundedFiguresOfTheReferenceState) {
    const auto swap = make_reference_swap();
    const ValuationState s = swap->value_at(trade_date, 200.0);
    const double coupon = swap->coupon_bps;
    EXPECT_NEAR(swap->upfront_fee(s, coupon), 0.03146156339575271, 1e-12);
    EXPECT_NEAR(swap->spread_bp(s, true), 200.72085882413998, 1e-12);
    EXPECT_NEAR(swap->spread_bp(s, false), 199.8305772166421, 1e-12);
    EXPECT_NEAR(swap->dirty_value(s, coupon), -3138.552079702518, 1e-9);
    EXPECT_NEAR(swap->accrued_interest(s, trade_date, coupon), 3879.489444444445, 1e-9);
    EXPECT_NEAR(swap->leg_value(s, coupon), 740.937364741927, 1e-9);
    // A zero rate, and a swap with no payment left, are the scenario comparison's.
    expect_what([&] { swap->calc_from_event_rate(trade_date, NAN); }, no_rate);
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

// The reference scenario passing is QVL.RunTests() in examples/reference.out.
TEST(SelfCheck, MismatchesNameBothFigures) {
    expect_what([] { check_close(0.9657, 0.9657051100400302, 1e-10, "DF not matching"); },
                "DF not matching (expected 0.96570511004, got 0.9657)");
    expect_what([] { check_close(std::nan(""), 1.0, INFINITY, "m"); }, "m (expected 1, got nan)");
    expect_what([] { check_close(INFINITY, 1.0, INFINITY, "m"); }, "m (expected 1, got inf)");
}

}  // namespace
}  // namespace qvl::testing
