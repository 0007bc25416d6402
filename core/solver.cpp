#include "core/solver.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/brent.hpp"

namespace qvl {

namespace {

// The search stops at a relative 1e-10 in the event rate.
constexpr double search_tolerance = 1e-10;
constexpr int search_max_iterations = 50;

// How far the state a search settles in may miss the quote before the quote counts as out of
// reach. A quote the search can reach is missed by a few 1e-9 % of upfront fee (at most
// 8e-9 % between -70 % and 53 % on the reference swap) and by about 1e-10 of the spread itself
// (3e-6 bp at 30000 bp). The tolerances sit two orders of magnitude above that and as far below
// a quoting step (0.0001 % of upfront, 0.01 bp of spread); a quote the bracket cannot reach
// misses by far more (the 2000 bp bound leaves a 90 % upfront fee 37 % short).

// printf's "%f": fixed notation with six decimals, however large the number.
std::string format_fixed(double value) {
    const int length = std::snprintf(nullptr, 0, "%f", value);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, "%f", value);
    return text;
}

// An upfront fee (%) at the swap's coupon: the search brings the upfront fee to the quote.
struct UpfrontFeeQuote {
    static constexpr double event_rate_lower_bp = -1000.0;
    static constexpr double event_rate_upper_bp = 2000.0;
    static constexpr double tolerance_percent = 1e-6;

    double upfront_fee;

    double lower_bp() const { return event_rate_lower_bp; }
    double upper_bp() const { return event_rate_upper_bp; }
    double coupon_bps(const QVLSwap& swap) const { return swap.coupon_bps; }
    double target() const { return upfront_fee; }
    bool reproduced(const QVLSwap& swap, const ValuationState& s) const {
        return std::fabs(swap.upfront_fee(s, swap.coupon_bps) - upfront_fee) <= tolerance_percent;
    }
    std::string failure() const {
        return "QVL Swap calculator is unable to solve for the Credit Event Rate given an Upfront "
               "Fee of " +
               format_fixed(upfront_fee) + " %";
    }
};

// A conventional spread (bp): the spread is the coupon at which the upfront fee is 0. The
// event rate sought lies near the spread, within 10 % of it either way; the miss is measured in
// bp of spread, as the conventional spread the state gives minus the quote.
struct ConventionalSpreadQuote {
    static constexpr double tolerance_bp = 1e-4;
    static constexpr double tolerance_relative = 1e-8;

    double spread;

    double lower_bp() const { return std::min(spread / 1.1 - 0.0001, spread * 1.1 + 0.0001); }
    // A negative spread gives the ends in reverse order; the search needs lower < upper.
    double upper_bp() const { return std::max(spread / 1.1 - 0.0001, spread * 1.1 + 0.0001); }
    double coupon_bps(const QVLSwap&) const { return spread; }
    double target() const { return 0.0; }
    bool reproduced(const QVLSwap& swap, const ValuationState& s) const {
        const double miss_bp = swap.spread_bp(s, true) - spread;
        return std::fabs(miss_bp) <= std::max(tolerance_bp, tolerance_relative * std::fabs(spread));
    }
    std::string failure() const {
        return "QVL Swap calculator is unable to solve for the Credit Event Rate given a "
               "Conventional Spread of " +
               format_fixed(spread) + " bps";
    }
};

template <class Quote>
EventRateSolution search(const QVLSwap& swap, Date t, const Quote& quote, SearchTrail* trail) {
    SearchTrail unused;
    SearchTrail& seen = trail ? *trail : unused;
    const double coupon = quote.coupon_bps(swap);

    // Each point is valued into the same state, so the search ends with the state at the last
    // point it tried. The trade date is checked at the first one: a trade date outside the
    // swap's life fails the search like any other error of the objective.
    EventRateSolution solution;
    std::optional<FactorProjection> at;
    const auto objective = [&](double x) {
        ++solution.evaluations;
        seen.last_rate = x;
        if (!at) {
            at = swap.series->validate_tradeDate(t, x);
            seen.trade_date_accepted = true;
        }
        at->event_rate = x;
        seen.last_projection.reset();
        swap.project(*at, solution.state);
        seen.last_projection = *at;
        return swap.upfront_fee(solution.state, coupon);
    };

    // The minimiser also settles next to a bound when no rate reproduces the quote; the miss
    // left at the last point tried tells the two apart.
    bool reproduced = false;
    try {
        solution.rate = minimise_miss(objective, quote.target(), quote.lower_bp(), quote.upper_bp(),
                                      search_tolerance, search_max_iterations);
        reproduced = quote.reproduced(swap, solution.state);
    } catch (const std::runtime_error&) {
        reproduced = false;
    }
    if (!reproduced) throw SolveError(quote.failure());
    return solution;
}

}  // namespace

EventRateSolution event_rate_for_upfront(const QVLSwap& swap, Date t, double upfront_fee,
                                         SearchTrail* trail) {
    return search(swap, t, UpfrontFeeQuote{upfront_fee}, trail);
}

EventRateSolution event_rate_for_spread(const QVLSwap& swap, Date t, double conventional_spread,
                                        SearchTrail* trail) {
    return search(swap, t, ConventionalSpreadQuote{conventional_spread}, trail);
}

ValuationResult solve_from_spread(const QVLSwap& swap, Date t, double conventional_spread,
                                  SearchTrail* trail) {
    const EventRateSolution solution = event_rate_for_spread(swap, t, conventional_spread, trail);
    const ValuationState& s = solution.state;
    const double par = swap.spread_bp(s, false);
    const double upfront = swap.upfront_fee(s, swap.coupon_bps);
    return swap.valuation_result(s, upfront, conventional_spread, par, solution.rate);
}

ValuationResult solve_from_upfront(const QVLSwap& swap, Date t, double upfront_fee,
                                   SearchTrail* trail) {
    const EventRateSolution solution = event_rate_for_upfront(swap, t, upfront_fee, trail);
    const ValuationState& s = solution.state;
    const double conventional = swap.spread_bp(s, true);
    const double par = swap.spread_bp(s, false);
    return swap.valuation_result(s, upfront_fee, conventional, par, solution.rate);
}

ValuationResult QVLSwap::solve_from_spread(Date t, double conventional_spread) const {
    return qvl::solve_from_spread(*this, t, conventional_spread, nullptr);
}

ValuationResult QVLSwap::solve_from_upfront(Date t, double upfront_fee) const {
    return qvl::solve_from_upfront(*this, t, upfront_fee, nullptr);
}

}  // namespace qvl
