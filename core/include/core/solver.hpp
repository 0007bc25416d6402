#pragma once

#include <optional>
#include <stdexcept>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/results.hpp"

// The search for the credit event rate that reproduces a quote: an upfront fee at the swap's
// coupon, or a conventional spread. Each quote kind has its own objective, event-rate bracket,
// tolerance and message; one bracketed minimiser (core/brent.hpp) serves both.
namespace qvl {

// No event rate within the quote's bracket reproduces it: "QVL Swap calculator is unable to
// solve for the Credit Event Rate given ...".
class SolveError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Where a search last stood, for callers that remember it: the last rate it tried (also when it
// failed) and, once the series accepted the trade date, the projection it valued that rate at
// (none when that valuation failed).
struct SearchTrail {
    std::optional<double> last_rate;
    bool trade_date_accepted = false;
    std::optional<FactorProjection> last_projection;
};

// The rate that reproduces the quote, with the swap's state at the last point the search
// evaluated. Throws SolveError when none does, whatever made the search fail (a trade date
// outside the swap's life among it). trail, when given, follows every point tried.
EventRateSolution event_rate_for_upfront(const QVLSwap& swap, Date t, double upfront_fee,
                                         SearchTrail* trail = nullptr);
EventRateSolution event_rate_for_spread(const QVLSwap& swap, Date t, double conventional_spread,
                                        SearchTrail* trail = nullptr);

// QVLSwap::solve_from_upfront and solve_from_spread, with the trail.
ValuationResult solve_from_upfront(const QVLSwap& swap, Date t, double upfront_fee,
                                   SearchTrail* trail);
ValuationResult solve_from_spread(const QVLSwap& swap, Date t, double conventional_spread,
                                  SearchTrail* trail);

}  // namespace qvl
