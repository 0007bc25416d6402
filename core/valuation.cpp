#include <algorithm>

#include "core/calendar.hpp"
#include "core/numeric.hpp"
#include "core/qvl_swap.hpp"

namespace qvl {

double QVLSwap::floating_leg_pv(const ValuationState& s) const {
    // The writedown of period 1, due on the swap's second publication date, never counts.
    const Date t = s.trade_date();
    CompensatedSum sum;
    for (std::size_t k = 2; k < floating_periods_.size(); ++k) {
        const FloatingPeriod& p = floating_periods_[k];
        if (p.payment_date > t) sum.add(p.discount_factor * s.floating[k].writedown_payment);
    }
    return sum.value();
}

double QVLSwap::fixed_leg_pv(const ValuationState& s, double coupon_bps) const {
    const Date t = s.trade_date();
    CompensatedSum sum;
    for (std::size_t j = 0; j < fixed_periods_.size(); ++j) {
        const FixedPeriod& p = fixed_periods_[j];
        if (p.payment_date > t) sum.add(p.discount_factor * fixed_payment(s, j, coupon_bps));
    }
    return sum.value();
}

double QVLSwap::leg_value(const ValuationState& s, double coupon_bps) const {
    return side_sign() * (floating_leg_pv(s) - fixed_leg_pv(s, coupon_bps));
}

std::optional<std::size_t> QVLSwap::accrual_period(Date t) const {
    if (fixed_periods_.empty() || t <= fixed_periods_.front().accrual_start ||
        t > fixed_periods_.back().accrual_end) {
        return std::nullopt;
    }
    auto it =
        std::upper_bound(fixed_periods_.begin(), fixed_periods_.end(), t,
                         [](Date date, const FixedPeriod& p) { return date < p.accrual_start; });
    return it == fixed_periods_.begin() ? 0
                                        : static_cast<std::size_t>(it - fixed_periods_.begin()) - 1;
}

double QVLSwap::accrued_on(std::size_t period, Date t, double coupon_bps,
                           double current_notional) const {
    const double coupon = coupon_bps / 10000.0;
    return year_fraction_act360(fixed_periods_[period].accrual_start, t) * coupon *
           current_notional;
}

double QVLSwap::accrued_interest(const ValuationState& s, Date t, double coupon_bps) const {
    const std::optional<std::size_t> i = accrual_period(t);
    return i ? accrued_on(*i, t, coupon_bps, s.floating[*i].current_notional) : 0.0;
}

double QVLSwap::dirty_value(const ValuationState& s, double coupon_bps) const {
    return leg_value(s, coupon_bps) + side_sign() * accrued_interest(s, s.trade_date(), coupon_bps);
}

double QVLSwap::upfront_fee(const ValuationState& s, double coupon_bps) const {
    const Date t = s.trade_date();
    return side_sign() * dirty_value(s, coupon_bps) /
           (series->interpolate_writedown_factor(s.projection, t) * notional) * 100.0;
}

double QVLSwap::spread_bp(const ValuationState& s, bool clean) const {
    // Both legs at a coupon of 100 bp: the ratio is the coupon that prices the floating leg.
    constexpr double unit_coupon = 100.0;
    const double floating = floating_leg_pv(s);
    double fixed = fixed_leg_pv(s, unit_coupon);
    if (clean) fixed -= accrued_interest(s, s.trade_date(), unit_coupon);
    return floating / fixed * 100.0;
}

ValuationResult QVLSwap::valuation_result(const ValuationState& s, double upfront,
                                          double conventional_spread, double par_spread,
                                          double event_rate) const {
    const Date t = s.trade_date();
    const double factor = series->interpolate_writedown_factor(s.projection, t);

    ValuationResult r;
    r.upfront_fee = round_to(upfront, 1e8);
    r.conventional_spread = round_to(conventional_spread, 1e6);
    r.par_spread = round_to(par_spread, 1e6);
    r.credit_event_rate = round_to(event_rate, 1e6);
    r.clean_price = round_to(100.0 - upfront, 1e8);
    r.current_notional = round_to(factor * notional, 100.0);
    r.upfront_payment = round_to(dirty_value(s, coupon_bps), 100.0);
    r.accrued_interest = round_to(-side_sign() * accrued_interest(s, t, coupon_bps), 100.0);
    r.cash_settlement_amount = round_to(leg_value(s, coupon_bps), 100.0);
    r.index_factor_at_trade = round_to(factor, 1e8);
    r.index_factor_at_maturity = round_to(s.floating.back().index_factor, 1e8);

    r.trade_date = format_date(t);
    r.settlement_date = format_date(advance_business_days(t, settlement_delay));
    // Empty when no floating payment is left after t (an end date after its month's
    // publication date).
    for (const FloatingPeriod& p : floating_periods_) {
        if (p.pays && p.payment_date > t) {
            r.payment_date = format_date(p.payment_date);
            break;
        }
    }
    r.ois_date = ois_date();
    return r;
}

ValuationResult QVLSwap::valuation(const ValuationState& s) const {
    const double conventional = spread_bp(s, true);
    const double par = spread_bp(s, false);
    const double upfront = upfront_fee(s, coupon_bps);
    return valuation_result(s, upfront, conventional, par, s.event_rate());
}

ValuationResult QVLSwap::calc_from_event_rate(Date t, double event_rate) const {
    return valuation(value_at(t, event_rate));
}

}  // namespace qvl
