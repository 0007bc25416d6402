#pragma once

#include <optional>
#include <string>

#include "core/date.hpp"
#include "core/qvl_swap.hpp"

namespace qvl {

// The sensitivities a trader hedges a swap with, each the change of the upfront payment (the
// valuation's "Upfront Payment": positive when received by the swap's own side) for one bump
// of 1 bp, in the swap's currency and rounded to 0.01 from unrounded values. A measure whose
// bumped valuation cannot be made (a solve that finds no rate, a bumped curve that cannot be
// built) is empty; the others still stand.
struct RiskResult {
    double upfront_payment = 0.0;
    std::optional<double> event_rate_01;  // the credit event rate 1 bp higher
    std::optional<double> spread_01;      // the rate that prices the conventional spread + 1 bp
    std::optional<double> ir_01;          // every par rate of the OIS curve 1 bp higher
    std::string trade_date;
};

template <class F>
void visit_fields(const RiskResult& r, F&& f) {
    f("Upfront Payment", r.upfront_payment);
    f("Event Rate 01", r.event_rate_01);
    f("Spread 01", r.spread_01);
    f("IR 01", r.ir_01);
    f("Trade Date", r.trade_date);
}

// The size of every bump: 1 bp of event rate and of spread, and of a par rate as the curve
// holds it (a decimal fraction).
inline constexpr double risk_bump_bp = 1.0;
inline constexpr double risk_bump_par_rate = 0.0001;

// The risk of swap at trade date t and event rate r: the base valued once, each bump from it.
// The base valuation's errors are the errors of this call. The bumped curve belongs to this
// call alone.
RiskResult risk(const QVLSwap& swap, Date t, double event_rate);
// The same from the base state valued already.
RiskResult risk_from(const QVLSwap& swap, const ValuationState& base);

// The swap's curve rebuilt from its own table with every par rate raised by shift.
YieldCurve shifted_curve(const YieldCurve& curve, double shift);

}  // namespace qvl
