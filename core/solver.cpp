#include <algorithm>
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

    try {
        solution.rate = brent_solve(objective, target_upfront, lower, upper, solve_tolerance,
                                    solve_max_iterations);
    } catch (const std::runtime_error&) {
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
