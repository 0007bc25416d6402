#include "core/risk.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>

#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

// The reference curve's table with every par rate 1 bp higher, written out.
const CurveInput bumped_reference_table = {
    {"1M", 0.039865}, {"2M", 0.039088}, {"3M", 0.038519}, {"6M", 0.037077}, {"9M", 0.036029},
    {"1Y", 0.035078}, {"2Y", 0.032868}, {"3Y", 0.032542}, {"4Y", 0.032732}, {"5Y", 0.033117},
    {"6Y", 0.033624}, {"7Y", 0.03417},  {"8Y", 0.034726}, {"9Y", 0.035281}, {"10Y", 0.035812}};

double value(const std::optional<double>& measure) {
    EXPECT_TRUE(measure.has_value());
    return measure.value_or(std::nan(""));
}

TEST(Risk, ReferenceFiguresAndTheSellersReversed) {
    const RiskResult r = risk(*make_reference_swap(), trade_date, 200.0);
    EXPECT_EQ(r.upfront_payment, -3138.55);
    EXPECT_EQ(r.trade_date, "2026-01-20");
    EXPECT_EQ(value(r.event_rate_01), -4365.03);
    EXPECT_EQ(value(r.spread_01), -4352.15);
    EXPECT_EQ(value(r.ir_01), -0.17);
    for (const char* on : {"2026-01-20", "2027-06-15"}) {
        SCOPED_TRACE(on);
        const RiskResult b = risk(*make_reference_swap(true), day(on), 200.0);
        const RiskResult s = risk(*make_reference_swap(false), day(on), 200.0);
        EXPECT_EQ(s.upfront_payment, -b.upfront_payment);
        EXPECT_EQ(value(s.event_rate_01), -value(b.event_rate_01));
        EXPECT_EQ(value(s.spread_01), -value(b.spread_01));
        EXPECT_EQ(value(s.ir_01), -value(b.ir_01));
    }
}

TEST(Risk, LeavesTheSwapAsTheValuationDoesAndTheCurveAsItWas) {
    const auto swap = make_reference_swap();
    const auto valued = make_reference_swap();
    swap->solve_from_spread(trade_date, 300.0, "");  // some other state first
    const double df = swap->curve->discount_factor(day("2029-06-01"));
    const double schedule_df = swap->fixed_periods().back().discount_factor;

    risk(*swap, day("2026-02-17"), 350.0);
    valued->calc_from_event_rate(day("2026-02-17"), 350.0, "");
    // What later calls read: the rate, the trade date, the amounts of the latest valuation.
    EXPECT_EQ(swap->eventRate(), valued->eventRate());
    EXPECT_EQ(swap->tradeDate(), valued->tradeDate());
    EXPECT_EQ(swap->trade_payment(day("2026-03-02"), 99.5, true, 0.0).total_payment,
              valued->trade_payment(day("2026-03-02"), 99.5, true, 0.0).total_payment);
    EXPECT_EQ(swap->curve->discount_factor(day("2029-06-01")), df);
    EXPECT_EQ(swap->fixed_periods().back().discount_factor, schedule_df);
    EXPECT_EQ(swap->curve->pillars()[5].par_rate, 0.034978);

    // A failed valuation fails the call and leaves the swap as the valuation does.
    expect_what([&] { risk(*swap, day("2025-01-02"), 250.0); }, before_start);
    expect_what([&] { valued->calc_from_event_rate(day("2025-01-02"), 250.0, ""); }, before_start);
    EXPECT_EQ(swap->eventRate(), valued->eventRate());
    EXPECT_EQ(swap->tradeDate(), valued->tradeDate());
}

TEST(Risk, AMeasureThatCannotBeMadeIsEmptyAndTheOthersStand) {
    // After the last floating payment no leg is left to price a spread: the spread search finds
    // nothing, while the accrued coupon still moves with neither bump.
    const auto late = make_swap(make_series("2030-12-20"));
    const RiskResult r = risk(*late, day("2030-12-17"), 200.0);
    EXPECT_FALSE(r.spread_01.has_value());
    EXPECT_EQ(value(r.event_rate_01), 0.0);
    EXPECT_EQ(value(r.ir_01), 0.0);
    EXPECT_EQ(late->eventRate(), 200.0);
    EXPECT_EQ(late->tradeDate(), day("2030-12-17"));

    // A par rate at the curve's upper bound leaves no room for the bumped curve.
    const auto curve = std::make_shared<const YieldCurve>(
        trade_date, CurveInput{{"6M", 0.04}, {"1Y", 100.0}, {"2Y", 0.04}});
    QVLSwap on_edge(make_series("2027-06-11"), curve, true, 200.0, 10000000.0);
    const RiskResult edge = risk(on_edge, trade_date, 200.0);
    EXPECT_FALSE(edge.ir_01.has_value());
    EXPECT_TRUE(edge.event_rate_01.has_value());
    EXPECT_TRUE(edge.spread_01.has_value());
}

TEST(Risk, ShiftedCurveAndTheSwapOnItAreBuiltAfresh) {
    const auto swap = make_reference_swap(false);
    const YieldCurve shifted = shifted_curve(*swap->curve, 0.0001);
    const auto direct = std::make_shared<const YieldCurve>(trade_date, bumped_reference_table);
    EXPECT_EQ(shifted.trade_date(), trade_date);
    ASSERT_EQ(shifted.pillars().size(), direct->pillars().size());
    for (std::size_t i = 0; i < direct->pillars().size(); ++i) {
        EXPECT_EQ(shifted.pillars()[i].tenor, direct->pillars()[i].tenor);
        EXPECT_NEAR(shifted.pillars()[i].discount_factor, direct->pillars()[i].discount_factor,
                    1e-15);
    }
    // The swap on another curve is the swap built afresh on that curve.
    const QVLSwap moved(*swap, direct);
    const QVLSwap built(swap->series, direct, false, 200.0, 10000000.0);
    EXPECT_EQ(moved.floating_periods().back().discount_factor,
              built.floating_periods().back().discount_factor);
    EXPECT_EQ(moved.fixed_periods().back().discount_factor,
              built.fixed_periods().back().discount_factor);
    EXPECT_EQ(moved.eventRate(), 200.0);
    EXPECT_EQ(moved.tradeDate(), invalid_date);
}

}  // namespace
}  // namespace qvl::testing
