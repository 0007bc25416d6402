#include "core/yield_curve.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

namespace qvl {
namespace {

Date ymd(int y, int m, int d) {
    return days_from_civil(y, m, d);
}

const CurveInput reference_pairs = {
    {"1M", 0.039765}, {"2M", 0.038988}, {"3M", 0.038419}, {"6M", 0.036977}, {"9M", 0.035929},
    {"1Y", 0.034978}, {"2Y", 0.032768}, {"3Y", 0.032442}, {"4Y", 0.032632}, {"5Y", 0.033017},
    {"6Y", 0.033524}, {"7Y", 0.03407},  {"8Y", 0.034626}, {"9Y", 0.035181}, {"10Y", 0.035712}};

const Date reference_trade = ymd(2026, 1, 20);

template <class E>
void expect_rejected(const CurveInput& pairs, const std::string& message) {
    try {
        YieldCurve curve(reference_trade, pairs);
        ADD_FAILURE() << "curve accepted, expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

// Par swap value of an annual whole-year pillar: rate * annuity = DF(spot) - DF(end).
double par_residual(const YieldCurve& c, int years, double rate) {
    double annuity = 0.0;
    Date previous = c.spot_date();
    for (int n = 1; n <= years; ++n) {
        const Date d = date_from_tenor(c.spot_date(), std::to_string(n) + "Y");
        annuity += year_fraction_act360(previous, d) * c.discount_factor(d);
        previous = d;
    }
    return rate * annuity - (c.discount_factor(c.spot_date()) - c.discount_factor(previous));
}

TEST(YieldCurve, ReferenceCurveDatesAndDiscountFactors) {
    const YieldCurve curve(reference_trade, reference_pairs);
    EXPECT_EQ(curve.trade_date(), reference_trade);
    EXPECT_EQ(curve.spot_date(), ymd(2026, 1, 22));
    const Date expected[] = {
        ymd(2026, 2, 23), ymd(2026, 3, 23), ymd(2026, 4, 22), ymd(2026, 7, 22), ymd(2026, 10, 22),
        ymd(2027, 1, 22), ymd(2028, 1, 24), ymd(2029, 1, 22), ymd(2030, 1, 22), ymd(2031, 1, 22),
        ymd(2032, 1, 22), ymd(2033, 1, 24), ymd(2034, 1, 23), ymd(2035, 1, 22), ymd(2036, 1, 22)};
    ASSERT_EQ(curve.pillars().size(), 15u);
    for (std::size_t i = 0; i < 15; ++i) {
        EXPECT_EQ(curve.pillars()[i].date, expected[i]) << i;
        EXPECT_EQ(curve.pillars()[i].tenor, reference_pairs[i].first);
        EXPECT_EQ(curve.pillars()[i].par_rate, reference_pairs[i].second);
    }
    EXPECT_EQ(curve.discount_factor(reference_trade), 1.0);
    EXPECT_NEAR(curve.discount_factor(ymd(2027, 1, 20)), 0.9657051100400302, 1e-10);
    EXPECT_NEAR(curve.discount_factor(ymd(2030, 12, 11)), 0.8512640997507235, 1e-10);
}

TEST(YieldCurve, WholeYearPillarsPriceTheirParSwaps) {
    const YieldCurve curve(reference_trade, reference_pairs);
    for (int n = 2; n <= 10; ++n) {
        EXPECT_NEAR(par_residual(curve, n, reference_pairs[4 + n].second), 0.0, 1e-12) << n;
    }
    // Short pillars keep simple interest from the spot date, scaled to the trade date.
    const CurvePillar& m3 = curve.pillars()[2];
    const double df_spot = curve.discount_factor(curve.spot_date());
    EXPECT_NEAR(m3.discount_factor, df_spot / (1.0 + m3.time * m3.par_rate), 1e-15);
}

TEST(YieldCurve, MissingWholeYearsAreInterpolatedUntilSettled) {
    // 3Y and 4Y are missing: the 5Y solve assumes log-linear factors in between.
    const CurveInput pairs = {
        {"6M", 0.036977}, {"1Y", 0.034978}, {"2Y", 0.032768}, {"5Y", 0.033017}, {"7Y", 0.03407}};
    const YieldCurve curve(reference_trade, pairs);
    EXPECT_NEAR(par_residual(curve, 5, 0.033017), 0.0, 1e-10);
    EXPECT_NEAR(par_residual(curve, 7, 0.03407), 0.0, 1e-10);
    EXPECT_NEAR(par_residual(curve, 2, 0.032768), 0.0, 1e-12);
}

TEST(YieldCurve, OnlyTheExactYearTextIsAWholeYearPillar) {
    // "12M" falls on the 1Y date but is not matched, so the 2Y pillar has no year-1 pillar.
    expect_rejected<std::runtime_error>(
        {{"12M", 0.035}, {"2Y", 0.033}},
        "YieldCurve: whole-year pillars of 2Y or more need a 1Y pillar");
    // A 2Y pillar written "24M" is not solved as a swap: it keeps its simple-interest guess.
    const YieldCurve curve(reference_trade, {{"1Y", 0.035}, {"24M", 0.033}});
    const CurvePillar& p = curve.pillars()[1];
    EXPECT_NEAR(p.discount_factor,
                curve.discount_factor(curve.spot_date()) / (1.0 + p.time * p.par_rate), 1e-15);
}

TEST(YieldCurve, DiscountFactorOutsideAndBetweenPillars) {
    const YieldCurve curve(reference_trade, reference_pairs);
    const auto& pl = curve.pillars();
    EXPECT_EQ(curve.discount_factor(ymd(2020, 1, 1)), 1.0);
    EXPECT_EQ(curve.discount_factor(invalid_date), 1.0);
    // Before the first pillar: decay from the trade date with the first forward.
    const Date early = ymd(2026, 2, 10);
    EXPECT_DOUBLE_EQ(curve.discount_factor(early),
                     std::exp(-pl[0].forward_rate * (early - reference_trade) / 360.0));
    // Beyond the last pillar: flat last forward.
    const Date late = ymd(2040, 6, 1);
    EXPECT_DOUBLE_EQ(
        curve.discount_factor(late),
        pl[14].discount_factor * std::exp(-pl[14].forward_rate * (late - pl[14].date) / 360.0));
    for (const CurvePillar& p : pl) EXPECT_EQ(curve.discount_factor(p.date), p.discount_factor);
    // Log-linear between pillars, continuous at both ends.
    const Date mid = ymd(2031, 7, 1);
    const double expected =
        pl[9].discount_factor * std::exp(-pl[10].forward_rate * (mid - pl[9].date) / 360.0);
    EXPECT_DOUBLE_EQ(curve.discount_factor(mid), expected);
    EXPECT_NEAR(curve.discount_factor(pl[10].date - 1) * std::exp(-pl[10].forward_rate / 360.0),
                pl[10].discount_factor, 1e-15);
    double previous = 1.0;
    for (Date d = reference_trade; d < ymd(2045, 1, 1); d += 17) {
        const double df = curve.discount_factor(d);
        ASSERT_LE(df, previous) << format_date(d);
        previous = df;
    }
}

TEST(YieldCurve, OneDayForwardRate) {
    const YieldCurve curve(reference_trade, reference_pairs);
    EXPECT_EQ(curve.forward_rate_1d(reference_trade - 1), 0.0);
    EXPECT_NEAR(curve.forward_rate_1d(reference_trade), curve.pillars()[0].forward_rate, 1e-12);
    const Date d = ymd(2031, 7, 1);
    EXPECT_NEAR(curve.forward_rate_1d(d), curve.pillars()[10].forward_rate, 1e-12);
    EXPECT_NEAR(curve.forward_rate_1d(ymd(2050, 1, 1)), curve.pillars()[14].forward_rate, 1e-12);
}

TEST(YieldCurve, RejectsDataBreakingItsPreconditions) {
    using std::runtime_error;
    expect_rejected<runtime_error>({}, "YieldCurve: no tenor/rate pairs");
    expect_rejected<runtime_error>({{"1M", 0.04}, {"3M", 0.04}, {"2M", 0.04}, {"1Y", 0.04}},
                                   "YieldCurve: pillar dates are not strictly increasing (2M)");
    expect_rejected<runtime_error>({{"1Y", 0.04}, {"12M", 0.04}},
                                   "YieldCurve: pillar dates are not strictly increasing (12M)");
    expect_rejected<runtime_error>(
        {{"1M", 0.04}, {"11M", 0.04}},
        "YieldCurve: last pillar is less than one year after the spot date");
    expect_rejected<runtime_error>(
        {{"-1Y", 0.04}}, "YieldCurve: last pillar is less than one year after the spot date");
    expect_rejected<runtime_error>({{"6M", 0.04}, {"2Y", 0.04}, {"3Y", 0.04}},
                                   "YieldCurve: whole-year pillars of 2Y or more need a 1Y pillar");
    expect_rejected<std::invalid_argument>({{"1M", 0.04}, {"Y", 0.04}}, "invalid stoi argument");
    expect_rejected<std::out_of_range>({{"1M", 0.04}, {"99999999999Y", 0.04}},
                                       "stoi argument out of range");
    // A lone year pillar, or whole years without a 2Y-or-later pillar, is sound.
    EXPECT_NO_THROW(YieldCurve(reference_trade, {{"1Y", 0.04}}));
    EXPECT_NO_THROW(YieldCurve(reference_trade, {{"6M", 0.04}, {"18M", 0.04}}));
}

TEST(YieldCurve, UnsettledBootstrapIsReportedWithItsTenor) {
    // Nonsensical rates (a 1Y factor above 2) make the interpolation of the missing years
    // diverge instead of settling.
    expect_rejected<std::runtime_error>({{"6M", 0.146}, {"1Y", -0.5085}, {"5Y", -0.12}},
                                        "YieldCurve: bootstrap does not settle at pillar 5Y");
}

}  // namespace
}  // namespace qvl
