#include "core/risk.hpp"

#include <memory>
#include <stdexcept>

#include "core/numeric.hpp"

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

RiskResult risk(QVLSwap& swap, Date t, double event_rate) {
    // First the valuation the swap keeps: its errors are this call's, and it leaves the swap's
    // rate and trade date. Every bump below values other states or other swaps.
    swap.calc_from_event_rate(t, event_rate, std::string());
    const ValuationState state = swap.value_at(t, event_rate);
    const double coupon = swap.coupon_bps;
    const double base = swap.dirty_value(state, coupon);

    RiskResult r;
    r.upfront_payment = cents(base);
    r.trade_date = format_date(t);

    r.event_rate_01 = measure(base, [&] {
        return swap.dirty_value(swap.value_at(t, event_rate + risk_bump_bp), coupon);
    });

    r.spread_01 = measure(base, [&] {
        // The search leaves what it tried in the swap it runs on, so it runs on a copy.
        QVLSwap scratch = swap;
        const double spread = swap.spread_bp(state, true) + risk_bump_bp;
        const EventRateSolution solution = scratch.solve_event_rate(t, spread, 0.0, true);
        return scratch.dirty_value(solution.state, coupon);
    });

    r.ir_01 = measure(base, [&] {
        // The discount factors are part of the swap's schedule, so the bumped curve gets a copy
        // of the swap of its own; both live only for this measure.
        const QVLSwap bumped(swap, std::make_shared<const YieldCurve>(
                                       shifted_curve(*swap.curve, risk_bump_par_rate)));
        return bumped.dirty_value(bumped.value_at(t, event_rate), coupon);
    });
    return r;
}

}  // namespace qvl
