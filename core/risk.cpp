#include "core/risk.hpp"

#include <memory>
#include <stdexcept>

#include "core/numeric.hpp"
#include "core/solver.hpp"

namespace qvl {

namespace {

// Rounded to 0.01; a change that rounds away shows as 0, never as -0.
double cents(double amount) {
    return round_to(amount, 100.0) + 0.0;
}

// The bumped upfront payment minus the base, or nothing when the bumped valuation fails. Only
// the errors of a valuation make a measure empty; anything else (out of memory) still fails
// the call.
template <class Bumped>
std::optional<double> measure(double base, Bumped&& bumped) {
    try {
        return cents(bumped() - base);
    } catch (const std::runtime_error&) {
    } catch (const std::logic_error&) {
    }
    return std::nullopt;
}

}  // namespace

YieldCurve shifted_curve(const YieldCurve& curve, double shift) {
    CurveInput table;
    table.reserve(curve.pillars().size());
    for (const CurvePillar& p : curve.pillars()) table.emplace_back(p.tenor, p.par_rate + shift);
    return YieldCurve(curve.trade_date(), table);
}

RiskResult risk_from(const QVLSwap& swap, const ValuationState& base_state) {
    const Date t = base_state.trade_date();
    const double coupon = swap.coupon_bps;
    const double base = swap.dirty_value(base_state, coupon);

    RiskResult r;
    r.upfront_payment = cents(base);
    r.trade_date = format_date(t);

    r.event_rate_01 = measure(base, [&] {
        FactorProjection bumped = base_state.projection;
        bumped.event_rate += risk_bump_bp;
        return swap.dirty_value(swap.project(bumped), coupon);
    });

    r.spread_01 = measure(base, [&] {
        const double spread = swap.spread_bp(base_state, true) + risk_bump_bp;
        return swap.dirty_value(event_rate_for_spread(swap, t, spread).state, coupon);
    });

    r.ir_01 = measure(base, [&] {
        // The discount factors are part of the swap's schedule, so the bumped curve gets a swap
        // of its own; the projected amounts do not depend on the curve and are the base's.
        const QVLSwap bumped(swap, std::make_shared<const YieldCurve>(
                                       shifted_curve(*swap.curve, risk_bump_par_rate)));
        return bumped.dirty_value(base_state, coupon);
    });
    return r;
}

RiskResult risk(const QVLSwap& swap, Date t, double event_rate) {
    return risk_from(swap, swap.value_at(t, event_rate));
}

}  // namespace qvl
