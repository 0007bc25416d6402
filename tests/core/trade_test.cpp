#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "core/brent.hpp"
#include "core/cashflow.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

TEST(Solver, QuotesGiveBackTheEventRate) {
    const ValuationResult s = make_reference_swap()->solve_from_spread(trade_date, 200.720859, "o");
    EXPECT_EQ(s.credit_event_rate, 200.0);
    EXPECT_EQ(s.upfront_fee, 0.03146157);
    EXPECT_EQ(s.conventional_spread, 200.720859);
    EXPECT_EQ(s.par_spread, 199.830577);
    const ValuationResult u = make_reference_swap()->solve_from_upfront(trade_date, 0.03146156, "");
    EXPECT_EQ(u.credit_event_rate, 200.0);
    EXPECT_EQ(u.conventional_spread, 200.720859);
    // The best point and the evaluations it took; the swap is left at the last point tried.
    const auto fresh = make_reference_swap();
    const EventRateSolution by_spread = fresh->solve_event_rate(trade_date, 200.720859, 0.0, true);
    EXPECT_NEAR(by_spread.rate, 200.00000018438269, 1e-12);
    EXPECT_EQ(by_spread.evaluations, 9);
    EXPECT_EQ(fresh->eventRate(), by_spread.state.event_rate());
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
    EXPECT_NEAR(brent_solve(id, 20.0, 0.0, 10.0, 1e-10, 100), 10.0, 1e-8);
    EXPECT_NEAR(brent_solve(id, -5.0, 0.0, 10.0, 1e-10, 100), 0.0, 1e-8);
    // A NaN region never improves, so it is cut off and the root is still found.
    EXPECT_NEAR(brent_solve([](double y) { return y > 6.0 ? NAN : y; }, 3.0, 0.0, 10.0, 1e-10, 100),
                3.0, 1e-8);
    // With a flat residual every trial point counts as an improvement, so the search walks to
    // the upper end instead of staying at the start point.
    EXPECT_GT(brent_solve([](double) { return 1.0; }, 0.0, 0.0, 10.0, 1e-10, 200), 9.99);
    // A residual symmetric about 0 puts the parabola's vertex on the current point; the zero
    // step then moves downwards, ending just below 0.
    const double y = brent_solve([](double z) { return z * z; }, -10.0, -1.0, 1.0, 1e-10, 100);
    EXPECT_TRUE(y < 0.0 && y > -1e-12) << y;
}

TEST(BrentSolve, IterationLimit) {
    int calls = 0;
    const auto counted = [&](double y) { return ++calls, y; };
    expect_what([&] { brent_solve(counted, 3.0, 0.0, 10.0, 1e-10, 5); },
                "Brent's method did not converge");
    EXPECT_EQ(calls, 6);  // the start point plus one per pass
}

TEST(TradePnl, ReferenceTradeFromStartToTradeDate) {
    const auto swap = make_reference_swap();
    const PnLResult r = swap->trade_pnl(day("2025-09-11"), 100.4523, trade_date, 99.5477, "x", 200);
    EXPECT_NEAR(r.current_notional_trade, 10000000.0, 1e-9);
    EXPECT_NEAR(r.upfront_payment_trade, 45230.0, 1e-9);
    EXPECT_EQ(r.accrued_interest_trade, 0.0);
    EXPECT_NEAR(r.current_notional_close, 9975830.0, 1e-9);
    EXPECT_NEAR(r.upfront_payment_close, 45120.67909, 1e-9);
    EXPECT_NEAR(r.accrued_interest_close, -3879.489444444445, 1e-9);
    EXPECT_NEAR(r.total_payment_close, 41241.189645555, 1e-8);
    // Four coupons: 16111.11 + 18888.62 + 14999.325 + 18883.45, up to 2026-01-13.
    EXPECT_NEAR(r.fixed_payments, -68882.509444444, 1e-8);
    EXPECT_NEAR(r.floating_payments, 24170.0, 1e-9);
    EXPECT_NEAR(r.trade_pnl, 41758.680201111, 1e-8);
    EXPECT_EQ(r.trade_init_date, "2025-09-16");
    EXPECT_EQ(r.trade_close_date, "2026-01-23");
    EXPECT_NEAR(swap->get_trade_total_payment(trade_date, 99.5477, NAN), 41241.189645555, 1e-8);
    const PnLResult same = swap->trade_pnl(trade_date, 99.0, trade_date, 99.5477, "", 200);
    EXPECT_EQ(same.fixed_payments, 0.0);
    EXPECT_EQ(same.floating_payments, 0.0);
    EXPECT_EQ(same.trade_pnl, same.total_payment_trade + same.total_payment_close);
    expect_what([&] { swap->trade_pnl(day("2025-09-11"), 100, trade_date, 100, "", NAN); },
                no_rate);
}

TEST(TradePayment, SignsFollowSideAndDirection) {
    const auto buyer = make_reference_swap(true);
    const TradePayment b = buyer->trade_payment(trade_date, 99.5477, true, 200.0);
    EXPECT_NEAR(b.total_payment, -41241.189645555, 1e-8);  // the reference trade's close reversed
    EXPECT_EQ(
        make_reference_swap(false)->trade_payment(trade_date, 99.5477, true, 200).total_payment,
        -b.total_payment);
    EXPECT_EQ(buyer->trade_payment(trade_date, 99.5477, false, 0.0).total_payment,
              -b.total_payment);
    EXPECT_EQ(buyer->trade_payment(trade_date, 100.0, true, 200.0).upfront_payment, 0.0);
}

// What a swap remembers of its latest valuation: the rate and trade date the worksheet and the
// service show, also after a failure, and the projection a payment at the held rate reads.
TEST(Remembered, FailedValuationsKeepWhatTheyTookBeforeFailing) {
    const auto swap = make_reference_swap();
    EXPECT_EQ(swap->tradeDate(), invalid_date);
    const Date maturity = day("2030-12-11");
    const Date too_early = day("2025-09-10");
    const auto expect_held = [&](double rate, Date date) {
        EXPECT_EQ(swap->eventRate(), rate);
        EXPECT_EQ(swap->tradeDate(), date);
    };
    expect_what([&] { swap->calc_from_event_rate(maturity, 300.0, ""); }, after_end);
    expect_held(300.0, maturity);
    // A cashflow table takes the rate only once the series has accepted the date.
    expect_what([&] { cashflow_rows(*swap, too_early, 400.0); }, before_start);
    expect_held(300.0, too_early);
    // A PnL takes its rate and close date, then each trade's date in turn.
    expect_what([&] { swap->trade_pnl(too_early, 100, trade_date, 100, "", 250.0); }, before_start);
    expect_held(250.0, too_early);
    // A search that fails is left at the first point it tried.
    expect_what([&] { swap->solve_from_spread(maturity, 200.0, ""); },
                "QVL Swap calculator is unable to solve for the Credit Event Rate given a "
                "Conventional Spread of 200.000000 bps");
    const double lower = 200.0 / 1.1 - 0.0001;
    const double upper = 200.0 * 1.1 + 0.0001;
    expect_held(lower + 0.3819660112501051 * (upper - lower), maturity);
    // A valuation that succeeds is what cashflows and payments read afterwards.
    cashflow_rows(*swap, trade_date, 200.0);
    expect_held(200.0, trade_date);
}

TEST(Remembered, PaymentAtTheHeldRateReadsTheSwapsLatestValuation) {
    // Never valued: the periods are projected first instead of failing.
    const auto swap = make_reference_swap();
    EXPECT_NEAR(swap->trade_payment(trade_date, 100.0, true, 0.0).accrued_interest,
                3879.489444444445, 1e-9);
    // The current notional is the trade date's own; the accrued coupon is on January's notional
    // as the October valuation projected it from October's factor: 7 days at 2 % on 0.999986
    // decayed over 95 days at 200 bp.
    swap->calc_from_event_rate(day("2025-10-15"), 200.0, "");
    const TradePayment after_october = swap->trade_payment(trade_date, 100.0, true, 0.0);
    EXPECT_NEAR(after_october.current_notional, 9975830.0, 1e-9);
    EXPECT_NEAR(after_october.accrued_interest, 3868.364106895054, 1e-8);
    EXPECT_EQ(swap->tradeDate(), trade_date);
    // Another swap on the same series leaves its rate there; the payment reads its own:
    // January's factor decayed at 200 bp over the 57 days to 2026-03-11.
    make_swap(swap->series, 900.0)->calc_from_event_rate(day("2026-03-20"), 900.0, "");
    EXPECT_NEAR(swap->trade_payment(day("2026-03-20"), 99.5477, true, 0.0).current_notional,
                9944289.836615168, 1e-7);
}

}  // namespace
}  // namespace qvl::testing
