#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

TEST(Solver, ConventionalSpreadGivesBackTheEventRate) {
    const auto swap = make_reference_swap();
    const ValuationResult r = swap->solve_from_spread(trade_date, 200.720859, "ois");
    EXPECT_EQ(r.credit_event_rate, 200.0);
    EXPECT_EQ(r.upfront_fee, 0.03146157);
    EXPECT_EQ(r.conventional_spread, 200.720859);
    EXPECT_EQ(r.par_spread, 199.830577);
    EXPECT_EQ(r.ois_date, "ois");

    // The best point, and the state of the last point tried, which the swap is left at.
    const auto fresh = make_reference_swap();
    const EventRateSolution solution = fresh->solve_event_rate(trade_date, 200.720859, 0.0, true);
    EXPECT_NEAR(solution.rate, 200.00000018438269, 1e-12);
    EXPECT_EQ(solution.evaluations, 9);  // 8 iterations after the first evaluation
    const double last_point = solution.state.event_rate();
    EXPECT_EQ(fresh->eventRate(), last_point);
    EXPECT_EQ(fresh->tradeDate(), trade_date);
    // Back at its own coupon, the swap gives the same upfront fee at that point.
    EXPECT_NEAR(fresh->calc_from_event_rate(trade_date, last_point, "").upfront_fee,
                fresh->upfront_fee(solution.state, fresh->coupon_bps), 1e-8);
}

TEST(Solver, UpfrontFeeGivesBackTheEventRate) {
    const auto swap = make_reference_swap();
    const ValuationResult r = swap->solve_from_upfront(trade_date, 0.03146156, "");
    EXPECT_EQ(r.credit_event_rate, 200.0);
    EXPECT_EQ(r.upfront_fee, 0.03146156);
    EXPECT_EQ(r.conventional_spread, 200.720859);
    EXPECT_EQ(r.par_spread, 199.830577);
    const EventRateSolution solution =
        make_reference_swap()->solve_event_rate(trade_date, 200.0, 0.03146156, false);
    EXPECT_NEAR(solution.rate, 199.99999991306262, 1e-12);
    EXPECT_EQ(solution.evaluations, 12);

    EXPECT_NEAR(make_reference_swap()->solve_from_upfront(trade_date, 30.0, "").credit_event_rate,
                1028.3546, 1e-4);
    EXPECT_NEAR(make_reference_swap()->solve_from_upfront(trade_date, -60.0, "").credit_event_rate,
                -854.5998, 1e-4);
    EXPECT_NEAR(make_reference_swap()->solve_from_spread(trade_date, 5000.0, "").credit_event_rate,
                5051.306, 1e-3);
}

TEST(Solver, QuotesNoRateReproducesFailLikeAnExhaustedSearch) {
    const std::string upfront_message =
        "QVL Swap calculator is unable to solve for the Credit Event Rate given an Upfront Fee of ";
    const std::string spread_message =
        "QVL Swap calculator is unable to solve for the Credit Event Rate given a Conventional "
        "Spread of ";
    // The fee reaches 53.0436 % at the 2000 bp bound and -70.925 % at -1000 bp: the search
    // settles at the bound within its iterations, but the fee there is not the quote.
    for (const auto& [fee, text] :
         {std::pair{90.0, "90.000000 %"}, {53.05, "53.050000 %"}, {-80.0, "-80.000000 %"}}) {
        const auto swap = make_reference_swap();
        expect_runtime_error([&] { swap->solve_from_upfront(trade_date, fee, ""); },
                             upfront_message + text);
    }
    // Just inside the bound the quote is met.
    EXPECT_NEAR(make_reference_swap()->solve_from_upfront(trade_date, 53.04, "").credit_event_rate,
                1999.807491, 1e-6);

    // Beyond about 35000 bp no rate up to the bracket's 1.1 times the spread gives a zero fee.
    for (const auto& [spread, text] :
         {std::pair{40000.0, "40000.000000 bps"}, {100000.0, "100000.000000 bps"}}) {
        const auto swap = make_reference_swap();
        expect_runtime_error([&] { swap->solve_from_spread(trade_date, spread, ""); },
                             spread_message + text);
    }
    EXPECT_NEAR(make_reference_swap()->solve_from_spread(trade_date, 30000.0, "").credit_event_rate,
                32281.827851, 1e-6);
    EXPECT_NEAR(
        make_reference_swap()->solve_from_spread(trade_date, -20000.0, "").credit_event_rate,
        -18474.400095, 1e-6);
}

TEST(Solver, NegativeSpreadIsSearchedBetweenOrderedBounds) {
    const auto swap = make_reference_swap();
    const double rate = swap->solve_event_rate(trade_date, -50.0, 0.0, true).rate;
    EXPECT_LT(rate, 0.0);
    EXPECT_NEAR(swap->calc_from_event_rate(trade_date, rate, "").conventional_spread, -50.0, 1e-5);
}

TEST(Solver, FailuresNameTheQuote) {
    const auto swap = make_reference_swap();
    expect_runtime_error([&] { swap->solve_from_spread(day("2030-12-11"), 200.0, ""); },
                         "QVL Swap calculator is unable to solve for the Credit Event Rate given "
                         "a Conventional Spread of 200.000000 bps");
    expect_runtime_error([&] { swap->solve_from_upfront(day("2030-12-11"), 1.5, ""); },
                         "QVL Swap calculator is unable to solve for the Credit Event Rate given "
                         "an Upfront Fee of 1.500000 %");
}

}  // namespace
}  // namespace qvl::testing
