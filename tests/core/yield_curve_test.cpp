#include <gtest/gtest.h>

#include <string>

#include "core/yield_curve.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

// The risk figures, the measures that cannot be made and what the bumps leave on the curve, the
// curve's refusals and the tables it takes at its edges are the scenario comparison's.
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
}

TEST(YieldCurve, MissingWholeYearsAreInterpolatedUntilSettled) {
    const YieldCurve curve(
        trade_date,
        {{"6M", 0.036977}, {"1Y", 0.034978}, {"2Y", 0.032768}, {"5Y", 0.033017}, {"7Y", 0.03407}});
    EXPECT_NEAR(par_residual(curve, 5, 0.033017), 0.0, 1e-10);
    EXPECT_NEAR(par_residual(curve, 7, 0.03407), 0.0, 1e-10);
}

}  // namespace
}  // namespace qvl::testing
