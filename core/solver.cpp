#include <algorithm>
#include <cmath>
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

    // The search minimises the miss rather than bracketing a root, so it also settles next to a
    // bound when no rate reproduces the quote; the miss left in the swap tells the two apart. In
    // spread mode the upfront fee at the quoted coupon is measured in bp of spread: the
    // conventional spread it gives minus the quote.
    double rate = 0.0;
    bool reproduced = false;
    try {
        rate = brent_solve(objective, solve_target, lower, upper, solve_tolerance,
                           solve_max_iterations);
        if (spread_mode) {
            const double miss_bp = spread_bp(tradeDate, true) - spread;
            reproduced =
                std::fabs(miss_bp) <=
                std::max(spread_tolerance_bp, spread_tolerance_relative * std::fabs(spread));
        } else {
            const double miss = upfront_fee(tradeDate) - solve_target;
            reproduced = std::fabs(miss) <= upfront_tolerance_percent;
        }
    } catch (const std::runtime_error&) {
        reproduced = false;
    } catch (...) {
        coupon_bps = own_coupon;
        throw;
    }

    if (!reproduced) {
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
