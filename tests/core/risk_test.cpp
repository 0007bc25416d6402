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

// Two figures each rounded to 0.01 differ from their rounded difference by at most 0.01.
constexpr double two_roundings = 0.01 + 1e-9;

double value(const std::optional<double>& measure) {
    EXPECT_TRUE(measure.has_value());
    return measure.value_or(std::nan(""));
}

TEST(Risk, ReferenceFiguresAreTheDifferencesOfTheOperations) {
    const auto swap = make_reference_swap();
    const RiskResult r = risk(*swap, trade_date, 200.0);
    EXPECT_EQ(r.upfront_payment, -3138.55);
    EXPECT_EQ(r.trade_date, "2026-01-20");
    EXPECT_EQ(value(r.event_rate_01), -4365.03);
    EXPECT_EQ(value(r.spread_01), -4352.15);
    EXPECT_EQ(value(r.ir_01), -0.17);

    // Each the bumped upfront payment of an operation minus the base, on swaps of their own.
    const double base =
        make_reference_swap()->calc_from_event_rate(trade_date, 200, "").upfront_payment;
    EXPECT_EQ(base, r.upfront_payment);
    const double at_201 =
        make_reference_swap()->calc_from_event_rate(trade_date, 201, "").upfront_payment;
    EXPECT_NEAR(*r.event_rate_01, at_201 - base, two_roundings);

    // The shown spread is rounded to 1e-6 bp, some 0.004 of payment at 4000 a bp.
    const auto solving = make_reference_swap();
    const double spread =
        solving->calc_from_event_rate(trade_date, 200, "").conventional_spread + 1.0;
    const double at_spread = solving->solve_from_spread(trade_date, spread, "").upfront_payment;
    EXPECT_NEAR(*r.spread_01, at_spread - base, two_roundings + 0.005);

    const auto reference = make_reference_swap();
    const auto curve = std::make_shared<const YieldCurve>(trade_date, bumped_reference_table);
    QVLSwap bumped(reference->series, curve, true, 200.0, 10000000.0);
    const double on_bumped = bumped.calc_from_event_rate(trade_date, 200, "").upfront_payment;
    EXPECT_NEAR(*r.ir_01, on_bumped - base, two_roundings);
}

TEST(Risk, SellerMeasuresAreTheBuyersReversed) {
    for (const char* day_text : {"2026-01-20", "2027-06-15"}) {
        SCOPED_TRACE(day_text);
        const RiskResult b = risk(*make_reference_swap(true), day(day_text), 200.0);
        const RiskResult s = risk(*make_reference_swap(false), day(day_text), 200.0);
        EXPECT_EQ(s.upfront_payment, -b.upfront_payment);
        EXPECT_EQ(value(s.event_rate_01), -value(b.event_rate_01));
        EXPECT_EQ(value(s.spread_01), -value(b.spread_01));
        EXPECT_EQ(value(s.ir_01), -value(b.ir_01));
        EXPECT_EQ(s.trade_date, b.trade_date);
    }
}

// What later calls read of a swap: its rate, its trade date, and the amounts of its latest
// valuation (a payment at rate 0 accrues on them).
void expect_same_state(QVLSwap& a, QVLSwap& b) {
    EXPECT_EQ(a.eventRate(), b.eventRate());
    EXPECT_EQ(a.tradeDate(), b.tradeDate());
    const TradePayment pa = a.trade_payment(day("2026-03-02"), 99.5, true, 0.0);
    const TradePayment pb = b.trade_payment(day("2026-03-02"), 99.5, true, 0.0);
    EXPECT_EQ(pa.accrued_interest, pb.accrued_interest);
    EXPECT_EQ(pa.total_payment, pb.total_payment);
}

TEST(Risk, LeavesTheSwapAsTheValuationDoesAndTheCurveAsItWas) {
    const auto swap = make_reference_swap();
    const auto valued = make_reference_swap();
    swap->solve_from_spread(trade_date, 300.0, "");  // some other state first
    const std::vector<CurvePillar> pillars = swap->curve->pillars();
    const double df = swap->curve->discount_factor(day("2029-06-01"));
    const double schedule_df = swap->fixed_periods().back().discount_factor;

    risk(*swap, day("2026-02-17"), 350.0);
    valued->calc_from_event_rate(day("2026-02-17"), 350.0, "");
    expect_same_state(*swap, *valued);

    EXPECT_EQ(swap->curve->discount_factor(day("2029-06-01")), df);
    EXPECT_EQ(swap->fixed_periods().back().discount_factor, schedule_df);
    ASSERT_EQ(swap->curve->pillars().size(), pillars.size());
    for (std::size_t i = 0; i < pillars.size(); ++i) {
        EXPECT_EQ(swap->curve->pillars()[i].par_rate, pillars[i].par_rate);
        EXPECT_EQ(swap->curve->pillars()[i].discount_factor, pillars[i].discount_factor);
    }
}

TEST(Risk, AFailedValuationFailsTheCallAndLeavesTheSwapAsTheValuationDoes) {
    const auto swap = make_reference_swap();
    const auto valued = make_reference_swap();
    const char* const message =
        "QVLSeries validate_tradeDate: tradeDate_in is before swap start date";
    expect_runtime_error([&] { risk(*swap, day("2025-01-02"), 250.0); }, message);
    expect_runtime_error([&] { valued->calc_from_event_rate(day("2025-01-02"), 250.0, ""); },
                         message);
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

// The swap on another curve is the swap built afresh on that curve.
TEST(Risk, SwapRediscountedIsTheSwapBuiltOnTheCurve) {
    const auto swap = make_reference_swap(false);
    const auto curve = std::make_shared<const YieldCurve>(trade_date, bumped_reference_table);
    const QVLSwap moved(*swap, curve);
    const QVLSwap built(swap->series, curve, false, 200.0, 10000000.0);
    EXPECT_EQ(moved.curve, curve);
    ASSERT_EQ(moved.floating_periods().size(), built.floating_periods().size());
    for (std::size_t k = 1; k < built.floating_periods().size(); ++k) {
        EXPECT_EQ(moved.floating_periods()[k].payment_date,
                  built.floating_periods()[k].payment_date);
        EXPECT_EQ(moved.floating_periods()[k].discount_factor,
                  built.floating_periods()[k].discount_factor);
    }
    ASSERT_EQ(moved.fixed_periods().size(), built.fixed_periods().size());
    for (std::size_t j = 0; j < built.fixed_periods().size(); ++j) {
        EXPECT_EQ(moved.fixed_periods()[j].discount_factor,
                  built.fixed_periods()[j].discount_factor);
    }
    EXPECT_NE(swap->fixed_periods().back().discount_factor,
              moved.fixed_periods().back().discount_factor);
    EXPECT_EQ(moved.eventRate(), 200.0);
    EXPECT_EQ(moved.tradeDate(), invalid_date);
}

TEST(Risk, ShiftedCurveKeepsTheTradeDateAndTenors) {
    const auto swap = make_reference_swap();
    const YieldCurve shifted = shifted_curve(*swap->curve, 0.0001);
    const YieldCurve direct(trade_date, bumped_reference_table);
    EXPECT_EQ(shifted.trade_date(), trade_date);
    ASSERT_EQ(shifted.pillars().size(), direct.pillars().size());
    for (std::size_t i = 0; i < direct.pillars().size(); ++i) {
        EXPECT_EQ(shifted.pillars()[i].tenor, direct.pillars()[i].tenor);
        EXPECT_NEAR(shifted.pillars()[i].discount_factor, direct.pillars()[i].discount_factor,
                    1e-15);
    }
}

}  // namespace
}  // namespace qvl::testing
