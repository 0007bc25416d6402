#include "core/self_check.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

TEST(SelfCheck, ReferenceScenarioPasses) {
    EXPECT_EQ(run_self_check(), "ok");
}

TEST(SelfCheck, ComparisonFailsAtTheToleranceAndOnNonFiniteValues) {
    expect_runtime_error(
        [] { check_close(0.9657, 0.9657051100400302, 1e-10, "DF at 2027-01-20 not matching"); },
        "DF at 2027-01-20 not matching (expected 0.96570511004, got 0.9657)");
    EXPECT_NO_THROW(check_close(1.25, 1.0, 0.5, "m"));
    expect_runtime_error([] { check_close(1.5, 1.0, 0.5, "m"); }, "m (expected 1, got 1.5)");
    expect_runtime_error([] { check_close(std::nan(""), 1.0, 0.5, "m"); },
                         "m (expected 1, got nan)");
    expect_runtime_error(
        [] { check_close(std::numeric_limits<double>::infinity(), 1.0, INFINITY, "m"); },
        "m (expected 1, got inf)");
}

}  // namespace
}  // namespace qvl::testing
