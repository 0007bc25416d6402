#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>

#include "core/brent.hpp"
#include "core/qvl_swap.hpp"

namespace qvl {

namespace {

constexpr double solve_tolerance = 1e-10;
constexpr int solve_max_iterations = 50;
constexpr double upfront_lower_bp = -1000.0;
constexpr double upfront_upper_bp = 2000.0;

// How far the state a search settles in may miss the quote before the quote counts as out of
// reach. The search stops at a relative 1e-10 in the event rate, so a quote it can reach is
// missed by a few 1e-9 % of upfront fee (at most 8e-9 % between -70 % and 53 % on the
// reference swap) and by about 1e-10 of the spread itself in spread mode (3e-6 bp at
// 30000 bp). The tolerances sit two orders of magnitude above that and as far below a quoting
// step (0.0001 % of upfront, 0.01 bp of spread); a quote the bracket cannot reach misses by
// far more (the 2000 bp bound leaves a 90 % upfront fee 37 % short).
constexpr double upfront_tolerance_percent = 1e-6;
constexpr double spread_tolerance_bp = 1e-4;
constexpr double spread_tolerance_relative = 1e-8;

// printf's "%f": fixed notation with six decimals, however large the number.
std::string format_fixed(double value) {
    const int length = std::snprintf(nullptr, 0, "%f", value);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, "%f", value);
    return text;
}

}  // namespace

EventRateSolution QVLSwap::solve_event_rate(Date t, double spread, double target_upfront,
                                            bool spread_mode) {
    trade_date_ = t;
    const double coupon = spread_mode ? spread : coupon_bps;

    double lower = upfront_lower_bp;
    double upper = upfront_upper_bp;
    if (spread_mode) {
        // A negative spread gives the ends in reverse order; the search needs lower < upper.
        const double a = spread / 1.1 - 0.0001;
        const double b = spread * 1.1 + 0.0001;
        lower = std::min(a, b);
        upper = std::max(a, b);
    }

    // Each point is valued into the same state, so the search ends with the swap at the last
    // point it tried. The trade date is checked at the first one: a trade date outside the
    // swap's life fails the search like any other error of the objective.
    EventRateSolution solution;
    std::optional<FactorProjection> at;
    const auto objective = [&](double x) {
        ++solution.evaluations;
        event_rate_ = x;
        if (!at) at = series->validate_tradeDate(t, x);
        at->event_rate = x;
        project_remembered(*at, solution.state);
        return upfront_fee(solution.state, coupon);
    };

    // The search minimises the miss rather than bracketing a root, so it also settles next to a
    // bound when no rate reproduces the quote; the miss left at the last point tried tells the
    // two apart. In spread mode the miss is measured in bp of spread: the conventional spread
    // the state gives minus the quote.
    bool reproduced = false;
    try {
        solution.rate = brent_solve(objective, target_upfront, lower, upper, solve_tolerance,
                                    solve_max_iterations);
        if (spread_mode) {
            const double miss_bp = spread_bp(solution.state, true) - spread;
            reproduced =
                std::fabs(miss_bp) <=
                std::max(spread_tolerance_bp, spread_tolerance_relative * std::fabs(spread));
        } else {
            const double miss = upfront_fee(solution.state, coupon) - target_upfront;
            reproduced = std::fabs(miss) <= upfront_tolerance_percent;
        }
    } catch (const std::runtime_error&) {
        reproduced = false;
    }

    if (!reproduced) {
        if (spread_mode) {
            throw std::runtime_error(
                "QVL Swap calculator is unable to solve for the Credit Event Rate given a "
                "Conventional Spread of " +
                format_fixed(spread) + " bps");
        }
        throw std::runtime_error(
            "QVL Swap calculator is unable to solve for the Credit Event Rate given an Upfront "
            "Fee of " +
            format_fixed(target_upfront) + " %");
    }
    return solution;
}

ValuationResult QVLSwap::solve_from_spread(Date t, double conventional_spread,
                                           const std::string& ois_text) {
    const EventRateSolution solution = solve_event_rate(t, conventional_spread, 0.0, true);
    const ValuationState& s = solution.state;
    const double par = spread_bp(s, false);
    const double upfront = upfront_fee(s, coupon_bps);
    return valuation_result(s, upfront, conventional_spread, par, solution.rate, ois_text);
}

ValuationResult QVLSwap::solve_from_upfront(Date t, double upfront_fee_value,
                                            const std::string& ois_text) {
    const EventRateSolution solution = solve_event_rate(t, coupon_bps, upfront_fee_value, false);
    const ValuationState& s = solution.state;
    const double conventional = spread_bp(s, true);
    const double par = spread_bp(s, false);
    return valuation_result(s, upfront_fee_value, conventional, par, solution.rate, ois_text);
}

}  // namespace qvl
