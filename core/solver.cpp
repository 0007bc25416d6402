#include <algorithm>
#include <cstdio>
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

double QVLSwap::solve_event_rate(Date t, double spread, double target_upfront, bool spread_mode) {
    tradeDate = t;
    const double own_coupon = coupon_bps;
    if (spread_mode) coupon_bps = spread;
    solve_target = target_upfront;

    double lower = upfront_lower_bp;
    double upper = upfront_upper_bp;
    if (spread_mode) {
        // A negative spread gives the ends in reverse order; the search needs lower < upper.
        const double a = spread / 1.1 - 0.0001;
        const double b = spread * 1.1 + 0.0001;
        lower = std::min(a, b);
        upper = std::max(a, b);
    }

    solve_evaluations = 0;
    const auto objective = [this](double x) {
        ++solve_evaluations;
        eventRate = x;
        project_factors();
        update_fixed_payments();
        return upfront_fee(tradeDate);
    };

    double rate = 0.0;
    try {
        rate = brent_solve(objective, solve_target, lower, upper, solve_tolerance,
                           solve_max_iterations);
    } catch (const std::runtime_error&) {
        coupon_bps = own_coupon;
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
    } catch (...) {
        coupon_bps = own_coupon;
        throw;
    }

    if (spread_mode) {
        coupon_bps = own_coupon;
        update_fixed_payments();
        solve_target = upfront_fee(t);
    }
    return rate;
}

ValuationResult QVLSwap::solve_from_spread(Date t, double conventional_spread,
                                           const std::string& ois_text) {
    const double rate = solve_event_rate(t, conventional_spread, 0.0, true);
    const double par = spread_bp(t, false);
    const double upfront = upfront_fee(t);
    return rounded_result(t, upfront, conventional_spread, par, rate, ois_text);
}

ValuationResult QVLSwap::solve_from_upfront(Date t, double upfront_fee_value,
                                            const std::string& ois_text) {
    const double rate = solve_event_rate(t, coupon_bps, upfront_fee_value, false);
    const double conventional = spread_bp(t, true);
    const double par = spread_bp(t, false);
    return rounded_result(t, upfront_fee_value, conventional, par, rate, ois_text);
}

}  // namespace qvl
