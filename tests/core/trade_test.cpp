#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "core/brent.hpp"
#include "core/solver.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

// The reference quotes' rows are pinned by examples/reference.out.
TEST(Solver, QuotesGiveBackTheEventRate) {
    // The best point and the evaluations it took; the state and the trail are at the last point
    // tried.
    SearchTrail trail;
    const EventRateSolution by_spread =
        event_rate_for_spread(*make_reference_swap(), trade_date, 200.720859, &trail);
    EXPECT_NEAR(by_spread.rate, 200.00000018438269, 1e-12);
    EXPECT_EQ(by_spread.evaluations, 9);
    EXPECT_EQ(trail.last_rate, by_spread.state.event_rate());
    EXPECT_EQ(trail.last_projection->event_rate, by_spread.state.event_rate());
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
        const ValuationResult r = c.spread ? swap->solve_from_spread(trade_date, c.quote)
                                           : swap->solve_from_upfront(trade_date, c.quote);
        EXPECT_NEAR(r.credit_event_rate, c.rate, 1e-6);
    }
}

TEST(Solver, QuotesNoRateReproducesFailLikeAnExhaustedSearch) {
    const std::string message =
        "QVL Swap calculator is unable to solve for the Credit Event Rate given ";
    // The fee reaches 53.0436 % at the 2000 bp bound and -70.925 % at -1000 bp: the search
    // settles at the bound within its iterations, but the fee there is not the quote. Fees far
    // beyond, and spreads of 100000 bp, are the scenario comparison's.
    for (const auto& [fee, text] : {std::pair{53.05, "53.050000 %"}, {-80.0, "-80.000000 %"}}) {
        expect_what<SolveError>([&] { make_reference_swap()->solve_from_upfront(trade_date, fee); },
                                message + "an Upfront Fee of " + text);
    }
    // Beyond about 35000 bp no rate up to the bracket's 1.1 times the spread gives a zero fee.
    expect_what<SolveError>([&] { make_reference_swap()->solve_from_spread(trade_date, 40000); },
                            message + "a Conventional Spread of 40000.000000 bps");
}

TEST(MinimiseMiss, FindsTheTargetOrTheNearestBracketEnd) {
    const auto id = [](double y) { return y; };
    EXPECT_NEAR(minimise_miss(id, 20.0, 0.0, 10.0, 1e-10, 100), 10.0, 1e-8);
    EXPECT_NEAR(minimise_miss(id, -5.0, 0.0, 10.0, 1e-10, 100), 0.0, 1e-8);
    // A NaN region never improves, so it is cut off and the root is still found.
    EXPECT_NEAR(
        minimise_miss([](double y) { return y > 6.0 ? NAN : y; }, 3.0, 0.0, 10.0, 1e-10, 100), 3.0,
        1e-8);
    // With a flat residual every trial point counts as an improvement, so the search walks to
    // the upper end instead of staying at the start point.
    EXPECT_GT(minimise_miss([](double) { return 1.0; }, 0.0, 0.0, 10.0, 1e-10, 200), 9.99);
    // A residual symmetric about 0 puts the parabola's vertex on the current point; the zero
    // step then moves downwards, ending just below 0.
    const double y = minimise_miss([](double z) { return z * z; }, -10.0, -1.0, 1.0, 1e-10, 100);
    EXPECT_TRUE(y < 0.0 && y > -1e-12) << y;
    // Out of iterations.
    int calls = 0;
    const auto counted = [&](double y) { return ++calls, y; };
    expect_what([&] { minimise_miss(counted, 3.0, 0.0, 10.0, 1e-10, 5); },
                "Brent's method did not converge");
    EXPECT_EQ(calls, 6);  // the start point plus one per pass
}

// The reference trade's figures are pinned by examples/reference.out, the payments' signs by
// side and direction by the scenario comparison.
TEST(Trade, PnlBetweenOneDayAndWithoutARate) {
    // No coupons between the same dates, and no PnL without a rate.
    const auto swap = make_reference_swap();
    const PnLResult same = swap->trade_pnl(trade_date, 99.0, trade_date, 99.5477, 200);
    EXPECT_EQ(same.fixed_payments, 0.0);
    EXPECT_EQ(same.floating_payments, 0.0);
    EXPECT_EQ(same.trade_pnl, same.total_payment_trade + same.total_payment_close);
    expect_what([&] { swap->trade_pnl(day("2025-09-11"), 100, trade_date, 100, NAN); }, no_rate);
}

}  // namespace
}  // namespace qvl::testing
