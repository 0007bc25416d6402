#include "core/brent.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "expect_what.hpp"

namespace qvl {
namespace {

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
}  // namespace qvl
