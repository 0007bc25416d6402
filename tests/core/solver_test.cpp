#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "core/brent.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

TEST(Solver, QuotesGiveBackTheEventRate) {
    const ValuationResult s = make_reference_swap()->solve_from_spread(trade_date, 200.720859, "o");
    EXPECT_EQ(s.credit_event_rate, 200.0);
    EXPECT_EQ(s.upfront_fee, 0.03146157);
    EXPECT_EQ(s.conventional_spread, 200.720859);
    EXPECT_EQ(s.par_spread, 199.830577);
    EXPECT_EQ(s.ois_date, "o");
    const ValuationResult u = make_reference_swap()->solve_from_upfront(trade_date, 0.03146156, "");
    EXPECT_EQ(u.credit_event_rate, 200.0);
    EXPECT_EQ(u.upfront_fee, 0.03146156);
    EXPECT_EQ(u.conventional_spread, 200.720859);

    // The best point and the evaluations it took; the swap is left at the last point tried.
    const auto fresh = make_reference_swap();
    const EventRateSolution by_spread = fresh->solve_event_rate(trade_date, 200.720859, 0.0, true);
    EXPECT_NEAR(by_spread.rate, 200.00000018438269, 1e-12);
    EXPECT_EQ(by_spread.evaluations, 9);
    EXPECT_EQ(fresh->eventRate(), by_spread.state.event_rate());
    const EventRateSolution by_fee =
        make_reference_swap()->solve_event_rate(trade_date, 200.0, 0.03146156, false);
    EXPECT_NEAR(by_fee.rate, 199.99999991306262, 1e-12);
    EXPECT_EQ(by_fee.evaluations, 12);

    // Far quotes, negative ones searched between ordered bounds, and just inside the fee bound.
    const struct {
        bool spread;
        double quote;
        double rate;
    } far[] = {{false, 30.0, 1028.354592},    {false, -60.0, -854.599787},
               {false, 53.04, 1999.807491},   {true, 5000.0, 5051.306256},
               {true, 30000.0, 32281.827851}, {true, -20000.0, -18474.400095}};
    for (const auto& c : far) {
        SCOPED_TRACE(c.quote);
        const auto swap = make_reference_swap();
        const ValuationResult r = c.spread ? swap->solve_from_spread(trade_date, c.quote, "")
                                           : swap->solve_from_upfront(trade_date, c.quote, "");
        EXPECT_NEAR(r.credit_event_rate, c.rate, 1e-6);
    }
}

TEST(Solver, QuotesNoRateReproducesFailLikeAnExhaustedSearch) {
    const std::string message =
        "QVL Swap calculator is unable to solve for the Credit Event Rate given ";
    // The fee reaches 53.0436 % at the 2000 bp bound and -70.925 % at -1000 bp: the search
    // settles at the bound within its iterations, but the fee there is not the quote.
    for (const auto& [fee, text] :
         {std::pair{90.0, "90.000000 %"}, {53.05, "53.050000 %"}, {-80.0, "-80.000000 %"}}) {
        expect_what([&] { make_reference_swap()->solve_from_upfront(trade_date, fee, ""); },
                    message + "an Upfront Fee of " + text);
    }
    // Beyond about 35000 bp no rate up to the bracket's 1.1 times the spread gives a zero fee.
    for (const auto& [spread, text] :
         {std::pair{40000.0, "40000.000000 bps"}, {100000.0, "100000.000000 bps"}}) {
        expect_what([&] { make_reference_swap()->solve_from_spread(trade_date, spread, ""); },
                    message + "a Conventional Spread of " + text);
    }
}

TEST(BrentSolve, FindsTheTargetOrTheNearestBracketEnd) {
    const auto id = [](double y) { return y; };
    EXPECT_NEAR(brent_solve(id, 3.0, 0.0, 10.0, 1e-10, 50), 3.0, 1e-9);
    EXPECT_NEAR(brent_solve(id, 20.0, 0.0, 10.0, 1e-10, 100), 10.0, 1e-8);
    EXPECT_NEAR(brent_solve(id, -5.0, 0.0, 10.0, 1e-10, 100), 0.0, 1e-8);
    // No sign change needed: the residual's minimum is the touching point.
    EXPECT_NEAR(brent_solve([](double y) { return (y - 2) * (y - 2); }, 0.0, -5, 5, 1e-10, 100),
                2.0, 1e-6);
    // A NaN region never improves, so it is cut off and the root is still found.
    EXPECT_NEAR(brent_solve([](double y) { return y > 6.0 ? NAN : y; }, 3.0, 0.0, 10.0, 1e-10, 100),
                3.0, 1e-8);
    // Errors of the function pass through.
    const auto throwing = [](double y) { return y > 5.0 ? throw std::invalid_argument("x") : y; };
    EXPECT_THROW(brent_solve(throwing, 9.0, 0.0, 10.0, 1e-10, 50), std::invalid_argument);
}

TEST(BrentSolve, TieRules) {
    // With a flat residual every trial point counts as an improvement, so the search walks to
    // the upper end instead of staying at the start point.
    EXPECT_GT(brent_solve([](double) { return 1.0; }, 0.0, 0.0, 10.0, 1e-10, 200), 9.99);
    // A residual symmetric about 0 puts the parabola's vertex on the current point; the zero
    // step then moves downwards, ending just below 0.
    const double y = brent_solve([](double z) { return z * z; }, -10.0, -1.0, 1.0, 1e-10, 100);
    EXPECT_LT(y, 0.0);
    EXPECT_NEAR(y, 0.0, 1e-12);
}

TEST(BrentSolve, IterationLimitAndReversedBracket) {
    int calls = 0;
    const auto counted = [&](double y) { return ++calls, y; };
    expect_what([&] { brent_solve(counted, 3.0, 0.0, 10.0, 1e-10, 0); },
                "Brent's method did not converge");
    EXPECT_EQ(calls, 1);
    calls = 0;
    EXPECT_THROW(brent_solve(counted, 3.0, 0.0, 10.0, 1e-10, 5), std::runtime_error);
    EXPECT_EQ(calls, 6);  // the start point plus one per pass
    calls = 0;
    // A reversed bracket ends the search at its first point.
    EXPECT_EQ(brent_solve(counted, 3.0, 10.0, 0.0, 1e-10, 50), 10.0 - 0.3819660112501051 * 10.0);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace qvl::testing
