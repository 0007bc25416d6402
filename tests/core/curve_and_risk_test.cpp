#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/risk.hpp"
#include "core/yield_curve.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

double value(const std::optional<double>& measure) {
    EXPECT_TRUE(measure.has_value());
    return measure.value_or(std::nan(""));
}

// The reference figures are pinned by examples/reference.out.
TEST(Risk, TheSellersFiguresAreTheBuyersReversedAndTheCurveStays) {
    const RiskResult s = risk(*make_reference_swap(false), day("2027-06-15"), 200.0);
    const RiskResult b = risk(*make_reference_swap(true), day("2027-06-15"), 200.0);
    EXPECT_EQ(s.upfront_payment, -b.upfront_payment);
    EXPECT_EQ(value(s.event_rate_01), -value(b.event_rate_01));
    EXPECT_EQ(value(s.spread_01), -value(b.spread_01));
    EXPECT_EQ(value(s.ir_01), -value(b.ir_01));
    // The bumps leave the curve as it was; a failure is the valuation's.
    const auto swap = make_reference_swap();
    const double df = swap->curve->discount_factor(day("2029-06-01"));
    const double schedule_df = swap->fixed_periods().back().discount_factor;
    risk(*swap, day("2026-02-17"), 350.0);
    EXPECT_EQ(swap->curve->discount_factor(day("2029-06-01")), df);
    EXPECT_EQ(swap->fixed_periods().back().discount_factor, schedule_df);
    EXPECT_EQ(swap->curve->pillars()[5].par_rate, 0.034978);
    expect_what([&] { risk(*swap, day("2025-01-02"), 250.0); }, before_start);
}

TEST(Risk, AMeasureThatCannotBeMadeIsEmptyAndTheOthersStand) {
    // After the last floating payment no leg is left to price a spread: the spread search finds
    // nothing, while the accrued coupon still moves with neither bump.
    const auto late = make_swap(make_series("2030-12-20"));
    const RiskResult r = risk(*late, day("2030-12-17"), 200.0);
    EXPECT_FALSE(r.spread_01.has_value());
    EXPECT_EQ(value(r.event_rate_01), 0.0);
    EXPECT_EQ(value(r.ir_01), 0.0);
    // A par rate at the curve's upper bound leaves no room for the bumped curve.
    const auto curve = std::make_shared<const YieldCurve>(
        trade_date, CurveInput{{"6M", 0.04}, {"1Y", 100.0}, {"2Y", 0.04}});
    QVLSwap on_edge(make_series("2027-06-11"), curve, true, 200.0, 10000000.0);
    const RiskResult edge = risk(on_edge, trade_date, 200.0);
    EXPECT_FALSE(edge.ir_01.has_value());
    EXPECT_TRUE(edge.event_rate_01.has_value());
    EXPECT_TRUE(edge.spread_01.has_value());
}

const CurveInput reference_pairs = {
    {"1M", 0.039765}, {"2M", 0.038988}, {"3M", 0.038419}, {"6M", 0.036977}, {"9M", 0.035929},
    {"1Y", 0.034978}, {"2Y", 0.032768}, {"3Y", 0.032442}, {"4Y", 0.032632}, {"5Y", 0.033017},
    {"6Y", 0.033524}, {"7Y", 0.03407},  {"8Y", 0.034626}, {"9Y", 0.035181}, {"10Y", 0.035712}};

// Par condition of an annual swap over whole years 1..n: rate * annuity = DF(spot) - DF(end).
double par_residual(const YieldCurve& c, int n, double rate) {
    double annuity = 0.0;
    Date previous = c.spot_date();
    for (int k = 1; k <= n; ++k) {
        const Date d = date_from_tenor(c.spot_date(), std::to_string(k) + "Y");
        annuity += year_fraction_act360(previous, d) * c.discount_factor(d);
        previous = d;
    }
    return rate * annuity - (c.discount_factor(c.spot_date()) - c.discount_factor(previous));
}

TEST(YieldCurve, ReferenceCurve) {
    const YieldCurve curve(trade_date, reference_pairs);
    EXPECT_EQ(curve.spot_date(), parse_date("2026-01-22"));
    const char* dates[] = {"2026-02-23", "2026-03-23", "2026-04-22", "2026-07-22", "2026-10-22",
                           "2027-01-22", "2028-01-24", "2029-01-22", "2030-01-22", "2031-01-22",
                           "2032-01-22", "2033-01-24", "2034-01-23", "2035-01-22", "2036-01-22"};
    ASSERT_EQ(curve.pillars().size(), 15u);
    for (std::size_t i = 0; i < 15; ++i) EXPECT_EQ(curve.pillars()[i].date, parse_date(dates[i]));
    EXPECT_EQ(curve.discount_factor(invalid_date), 1.0);
    for (int n = 2; n <= 10; ++n) {
        EXPECT_NEAR(par_residual(curve, n, reference_pairs[4 + n].second), 0.0, 1e-12) << n;
    }
    // Off the pillars: flat forwards between them, before the first and after the last.
    EXPECT_NEAR(curve.forward_rate_1d(trade_date), curve.pillars()[0].forward_rate, 1e-12);
    EXPECT_NEAR(curve.forward_rate_1d(parse_date("2031-07-01")), curve.pillars()[10].forward_rate,
                1e-12);
    EXPECT_NEAR(curve.discount_factor(parse_date("2040-06-01")), 0.58331105829553553, 1e-12);
    EXPECT_NEAR(curve.discount_factor(parse_date("2026-02-10")), 0.99768714369911615, 1e-12);
    EXPECT_EQ(curve.forward_rate_1d(trade_date - 1), 0.0);
}

TEST(YieldCurve, MissingWholeYearsAreInterpolatedUntilSettled) {
    const YieldCurve curve(
        trade_date,
        {{"6M", 0.036977}, {"1Y", 0.034978}, {"2Y", 0.032768}, {"5Y", 0.033017}, {"7Y", 0.03407}});
    EXPECT_NEAR(par_residual(curve, 5, 0.033017), 0.0, 1e-10);
    EXPECT_NEAR(par_residual(curve, 7, 0.03407), 0.0, 1e-10);
    // "24M" falls on the 2Y date but keeps its simple-interest factor from the spot date.
    const YieldCurve months(trade_date, {{"1Y", 0.035}, {"24M", 0.033}});
    EXPECT_NEAR(months.pillars()[1].discount_factor, 0.93694025334175024, 1e-12);
    // Lower-case units are months and years, as in upper case; once "1m" was a year.
    const YieldCurve lower(trade_date, {{"1m", 0.04}, {"6me", 0.038}, {" 1y ", 0.035}});
    const YieldCurve upper(trade_date, {{"1M", 0.04}, {"6ME", 0.038}, {"1Y", 0.035}});
    EXPECT_EQ(lower.pillars()[0].date, upper.pillars()[0].date);
    EXPECT_EQ(lower.pillars()[2].discount_factor, upper.pillars()[2].discount_factor);
}

TEST(YieldCurve, RejectsDataBreakingItsPreconditions) {
    const std::string not_increasing = "YieldCurve: pillar dates are not strictly increasing ";
    const std::string too_short =
        "YieldCurve: last pillar is less than one year after the spot date";
    const std::string no_1y = "YieldCurve: whole-year pillars of 2Y or more need a 1Y pillar";
    const std::string too_high = "YieldCurve: par rate of 1M is above 10000 %, not supported";
    const struct {
        CurveInput pairs;
        std::string message;
    } cases[] = {
        {{}, "YieldCurve: no tenor/rate pairs"},
        {{{"1M", 0.04}, {"3M", 0.04}, {"2M", 0.04}, {"1Y", 0.04}}, not_increasing + "(2M)"},
        {{{"1Y", 0.04}, {"12M", 0.04}}, not_increasing + "(12M)"},
        {{{"1M", 0.04}, {"11M", 0.04}}, too_short},
        {{{"6M", 0.04}, {"2Y", 0.04}, {"3Y", 0.04}}, no_1y},
        {{{"12M", 0.035}, {"2Y", 0.033}}, no_1y},
        // Nonsensical rates (a 1Y factor above 2) make the missing years diverge.
        {{{"6M", 0.146}, {"1Y", -0.5085}, {"5Y", -0.12}},
         "YieldCurve: bootstrap does not settle at pillar 5Y"},
        // The 19999 missing years would settle in 135 passes, far below the pass limit, but the
        // passes would recompute more rows than a curve may.
        {{{"1Y", -0.5}, {"20000Y", -1.4678e-05}},
         "YieldCurve: bootstrap does not settle at pillar 20000Y"},
        {{{"1M", 0.04}, {"1Y", -1.0}}, "YieldCurve: par rate of 1Y is at or below -100 %"},
        {{{"1M", 100.01}, {"1Y", 0.04}}, too_high},
    };
    const auto build = [](const CurveInput& pairs) {
        return [=] { YieldCurve(trade_date, pairs); };
    };
    for (const auto& c : cases) expect_what(build(c.pairs), c.message);
    // Tenors are read strictly, with the date's own errors.
    expect_what<std::invalid_argument>(build({{"1M", 0.04}, {"Y", 0.04}}), "invalid stoi argument");
    expect_what<std::out_of_range>(build({{"99999999999Y", 0.04}}), "stoi argument out of range");
    expect_what<std::invalid_argument>(build({{"5D", 0.04}, {"1Y", 0.04}}), "Invalid tenor: 5D");
    // One pillar, negative rates above -100 % and rates up to 10000 % are curves.
    EXPECT_NO_THROW(YieldCurve(trade_date, {{"1Y", 0.04}}));
    EXPECT_NO_THROW(YieldCurve(trade_date, {{"1M", -0.005}, {"1Y", -0.99}}));
    EXPECT_NO_THROW(YieldCurve(trade_date, {{"1M", 100.0}, {"1Y", 0.04}}));
}

}  // namespace
}  // namespace qvl::testing
