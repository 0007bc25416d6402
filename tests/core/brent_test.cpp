#include "core/brent.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvl {
namespace {

constexpr double golden = 0.3819660112501051;

// f(x) = x, recording every trial point.
struct Recorder {
    std::vector<double> calls;
    double operator()(double x) {
        calls.push_back(x);
        return x;
    }
};

TEST(BrentSolve, FindsTheTargetOfSmoothFunctions) {
    Recorder rec;
    const double x = brent_solve(std::ref(rec), 3.0, 0.0, 10.0, 1e-10, 50);
    EXPECT_NEAR(x, 3.0, 1e-9);
    EXPECT_LE(rec.calls.size(), 51u);
    EXPECT_EQ(rec.calls.front(), golden * 10.0);

    // No sign change needed: the residual's minimum is the touching point.
    EXPECT_NEAR(
        brent_solve([](double y) { return (y - 2.0) * (y - 2.0); }, 0.0, -5.0, 5.0, 1e-10, 100),
        2.0, 1e-6);
    // A decreasing curve like the price as a function of a rate.
    const double r = brent_solve([](double y) { return 100.0 * std::exp(-y / 10000.0); }, 97.0,
                                 -1000.0, 2000.0, 1e-10, 50);
    EXPECT_NEAR(r, -10000.0 * std::log(0.97), 1e-6);
}

TEST(BrentSolve, UnreachableTargetConvergesToNearestBracketEnd) {
    const auto id = [](double y) { return y; };
    EXPECT_NEAR(brent_solve(id, 20.0, 0.0, 10.0, 1e-10, 100), 10.0, 1e-8);
    EXPECT_NEAR(brent_solve(id, -5.0, 0.0, 10.0, 1e-10, 100), 0.0, 1e-8);
}

TEST(BrentSolve, TieRules) {
    // With a flat residual every trial point is taken, so the search walks to the upper end
    // instead of staying at the start point.
    const double x = brent_solve([](double) { return 1.0; }, 0.0, 0.0, 10.0, 1e-10, 200);
    EXPECT_GT(x, 9.99);
    // A residual symmetric about 0 puts the parabola's vertex on the current point; the zero
    // step then moves downwards, ending just below 0.
    const double y = brent_solve([](double z) { return z * z; }, -10.0, -1.0, 1.0, 1e-10, 100);
    EXPECT_LT(y, 0.0);
    EXPECT_NEAR(y, 0.0, 1e-12);
}

TEST(BrentSolve, ReversedBracketReturnsTheStartPointAtOnce) {
    Recorder rec;
    const double x = brent_solve(std::ref(rec), 3.0, 10.0, 0.0, 1e-10, 50);
    EXPECT_EQ(x, 10.0 + golden * (0.0 - 10.0));
    EXPECT_EQ(rec.calls.size(), 1u);
}

TEST(BrentSolve, RunningOutOfIterationsThrows) {
    Recorder rec;
    try {
        brent_solve(std::ref(rec), 3.0, 0.0, 10.0, 1e-10, 0);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Brent's method did not converge");
    }
    EXPECT_EQ(rec.calls.size(), 1u);

    rec.calls.clear();
    EXPECT_THROW(brent_solve(std::ref(rec), 3.0, 0.0, 10.0, 1e-10, 5), std::runtime_error);
    EXPECT_EQ(rec.calls.size(), 6u);  // the start point plus one per pass
}

TEST(BrentSolve, ErrorsAndNaNsOfTheFunction) {
    // A failure inside f propagates unchanged.
    const auto throwing = [](double y) -> double {
        if (y > 5.0) throw std::invalid_argument("outside the model");
        return y;
    };
    EXPECT_THROW(brent_solve(throwing, 9.0, 0.0, 10.0, 1e-10, 50), std::invalid_argument);
    // A NaN region never improves, so it is cut off and the root is still found.
    const auto partly_nan = [](double y) {
        return y > 6.0 ? std::numeric_limits<double>::quiet_NaN() : y;
    };
    EXPECT_NEAR(brent_solve(partly_nan, 3.0, 0.0, 10.0, 1e-10, 100), 3.0, 1e-8);
}

}  // namespace
}  // namespace qvl
