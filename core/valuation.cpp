#include <algorithm>

#include "core/calendar.hpp"
#include "core/numeric.hpp"
#include "core/qvl_swap.hpp"

namespace qvl {

double QVLSwap::floating_leg_pv(Date t) const {
    // The writedown of period 1, due on the swap's second publication date, never counts.
    CompensatedSum sum;
    for (std::size_t k = 2; k < floating_periods.size(); ++k) {
        const FloatingPeriod& p = floating_periods[k];
        if (p.payment_date > t) sum.add(p.discount_factor * p.writedown_payment);
    }
    return sum.value();
}

double QVLSwap::fixed_leg_pv(Date t) const {
    CompensatedSum sum;
    for (const FixedPeriod& p : fixed_periods) {
        if (p.payment_date > t) sum.add(p.discount_factor * p.fixed_payment);
    }
    return sum.value();
}

double QVLSwap::leg_value(Date t) const {
    return side_sign() * (floating_leg_pv(t) - fixed_leg_pv(t));
}

double QVLSwap::accrued_interest(Date t) const {
    if (fixed_periods.empty() || t <= fixed_periods.front().accrual_start ||
        t > fixed_periods.back().accrual_end) {
        return 0.0;
    }
    auto it =
        std::upper_bound(fixed_periods.begin(), fixed_periods.end(), t,
                         [](Date date, const FixedPeriod& p) { return date < p.accrual_start; });
    const std::size_t i =
        it == fixed_periods.begin() ? 0 : static_cast<std::size_t>(it - fixed_periods.begin()) - 1;
    const double coupon = coupon_bps / 10000.0;
    return year_fraction_act360(fixed_periods[i].accrual_start, t) * coupon *
           floating_periods[i].current_notional;
}

double QVLSwap::dirty_value(Date t) const {
    return leg_value(t) + side_sign() * accrued_interest(t);
}

double QVLSwap::upfront_fee(Date t) const {
    return side_sign() * dirty_value(t) / (series->interpolate_writedown_factor(t) * notional) *
           100.0;
}

double QVLSwap::spread_bp(Date t, bool clean) {
    const double own_coupon = coupon_bps;
    coupon_bps = 100.0;
    const double floating = floating_leg_pv(t);
    update_fixed_payments();
    double fixed = fixed_leg_pv(t);
    if (clean) fixed -= accrued_interest(t);
    coupon_bps = own_coupon;
    update_fixed_payments();
    return floating / fixed * 100.0;
}

void QVLSwap::fill_valuation_result(Date t, double upfront_fee_value, const std::string& ois_text,
                                    ValuationResult& result) {
    series->validate_tradeDate(t);
    series->eventRate = eventRate;
    const double factor = series->interpolate_writedown_factor(t);

    result.upfront_fee = upfront_fee_value;
    result.clean_price = 100.0 - upfront_fee_value;
    result.current_notional = factor * notional;
    result.upfront_payment = dirty_value(t);
    result.accrued_interest = -side_sign() * accrued_interest(t);
    result.cash_settlement_amount = leg_value(t);
    result.index_factor_at_trade = factor;
    result.index_factor_at_maturity =
        series->writedown_factor_at_publication(floating_periods.back().publication_date);

    result.trade_date = format_date(t);
    result.settlement_date = format_date(advance_business_days(t, settlement_delay));
    // Empty when no floating payment is left after t (an end date after its month's
    // publication date).
    result.payment_date.clear();
    for (const FloatingPeriod& p : floating_periods) {
        if (p.pays && p.payment_date > t) {
            result.payment_date = format_date(p.payment_date);
            break;
        }
    }
    result.ois_date = ois_text;
}

ValuationResult QVLSwap::rounded_result(Date t, double upfront, double conventional_spread,
                                        double par_spread, double event_rate,
                                        const std::string& ois_text) {
    ValuationResult r;
    fill_valuation_result(t, upfront, ois_text, r);
    r.upfront_fee = round_to(r.upfront_fee, 1e8);
    r.conventional_spread = round_to(conventional_spread, 1e6);
    r.par_spread = round_to(par_spread, 1e6);
    r.credit_event_rate = round_to(event_rate, 1e6);
    r.clean_price = round_to(r.clean_price, 1e8);
    r.current_notional = round_to(r.current_notional, 100.0);
    r.upfront_payment = round_to(r.upfront_payment, 100.0);
    r.accrued_interest = round_to(r.accrued_interest, 100.0);
    r.cash_settlement_amount = round_to(r.cash_settlement_amount, 100.0);
    r.index_factor_at_trade = round_to(r.index_factor_at_trade, 1e8);
    r.index_factor_at_maturity = round_to(r.index_factor_at_maturity, 1e8);
    return r;
}

ValuationResult QVLSwap::calc_from_event_rate(Date t, double event_rate,
                                              const std::string& ois_text) {
    eventRate = event_rate;
    tradeDate = t;
    series->validate_tradeDate(t);
    series->eventRate = event_rate;
    project_factors();
    update_fixed_payments();
    const double conventional = spread_bp(t, true);
    const double par = spread_bp(t, false);
    const double upfront = upfront_fee(t);
    return rounded_result(t, upfront, conventional, par, event_rate, ois_text);
}

}  // namespace qvl
