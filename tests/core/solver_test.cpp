#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace qvl::testing
