#include "core/self_check.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "expect_what.hpp"

namespace qvl {
namespace {

TEST(SelfCheck, ReferenceScenarioPassesAndMismatchesNameBothFigures) {
    EXPECT_EQ(run_self_check(), "ok");
    expect_what([] { check_close(0.9657, 0.9657051100400302, 1e-10, "DF not matching"); },
                "DF not matching (expected 0.96570511004, got 0.9657)");
    EXPECT_NO_THROW(check_close(1.25, 1.0, 0.5, "m"));
    expect_what([] { check_close(1.5, 1.0, 0.5, "m"); }, "m (expected 1, got 1.5)");
    expect_what([] { check_close(std::nan(""), 1.0, INFINITY, "m"); }, "m (expected 1, got nan)");
    expect_what([] { check_close(INFINITY, 1.0, INFINITY, "m"); }, "m (expected 1, got inf)");
}

}  // namespace
}  // namespace qvl
