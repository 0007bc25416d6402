#include <cmath>

#include "core/calendar.hpp"
#include "core/numeric.hpp"
#include "core/qvl_swap.hpp"

namespace qvl {

TradePayment QVLSwap::payment(double clean_price, bool initiation, double current_notional,
                              double accrued) const {
    double upfront = (100.0 - clean_price) / 100.0 * current_notional * side_sign();
    double accrued_signed = -side_sign() * accrued;
    if (!initiation) {
        upfront = -upfront;
        accrued_signed = -accrued_signed;
    }
    return {current_notional, upfront, accrued_signed, upfront + accrued_signed};
}

TradePayment QVLSwap::payment_at(Date t, double clean_price, bool initiation,
                                 const FactorProjection& at,
                                 const FactorProjection& accrual_from) const {
    const double current_notional = series->interpolate_writedown_factor(at, t) * notional;
    double accrued = 0.0;
    if (const std::optional<std::size_t> i = accrual_period(t)) {
        const double period_notional = series->writedown_factor_at_publication(
                                           accrual_from, floating_periods_[*i].publication_date) *
                                       notional;
        accrued = accrued_on(*i, t, coupon_bps, period_notional);
    }
    return payment(clean_price, initiation, current_notional, accrued);
}

TradePayment QVLSwap::trade_payment(Date t, double clean_price, bool initiation,
                                    double event_rate) const {
    // Every period is projected, as a valuation would, so that the payment fails where a
    // valuation at (t, event_rate) fails.
    const ValuationState state = value_at(t, event_rate);
    return payment_at(t, clean_price, initiation, state.projection, state.projection);
}

PnLResult QVLSwap::trade_pnl(Date t1, double clean_price_1, Date t2, double clean_price_2,
                             double event_rate) const {
    return pnl_from(t1, clean_price_1, value_at(t2, event_rate), clean_price_2);
}

PnLResult QVLSwap::pnl_from(Date t1, double clean_price_1, const ValuationState& state,
                            double clean_price_2) const {
    // All period amounts are those seen from the close date.
    const Date t2 = state.trade_date();
    const double event_rate = state.event_rate();

    // Each trade's own date is checked, as a payment would check it.
    const FactorProjection at1 = series->validate_tradeDate(t1, event_rate);
    const TradePayment opening =
        payment(clean_price_1, true, series->interpolate_writedown_factor(at1, t1) * notional,
                accrued_interest(state, t1, coupon_bps));
    const TradePayment closing = payment(
        clean_price_2, false, series->interpolate_writedown_factor(state.projection, t2) * notional,
        accrued_interest(state, t2, coupon_bps));

    CompensatedSum fixed;
    for (std::size_t j = 0; j < fixed_periods_.size(); ++j) {
        const FixedPeriod& p = fixed_periods_[j];
        if (p.accrual_end > t1 && p.accrual_end <= t2)
            fixed.add(fixed_payment(state, j, coupon_bps));
    }
    CompensatedSum floating;
    for (std::size_t k = 0; k < floating_periods_.size(); ++k) {
        const FloatingPeriod& p = floating_periods_[k];
        if (p.pays && p.effective_date > t1 && p.effective_date <= t2) {
            floating.add(state.floating[k].writedown_payment);
        }
    }

    PnLResult r;
    r.current_notional_trade = opening.current_notional;
    r.upfront_payment_trade = opening.upfront_payment;
    r.accrued_interest_trade = opening.accrued_interest;
    r.total_payment_trade = opening.total_payment;
    r.current_notional_close = closing.current_notional;
    r.upfront_payment_close = closing.upfront_payment;
    r.accrued_interest_close = closing.accrued_interest;
    r.total_payment_close = closing.total_payment;
    r.fixed_payments = side_sign() * fixed.value();
    r.floating_payments = -side_sign() * floating.value();
    r.trade_pnl =
        r.total_payment_close + r.total_payment_trade + r.fixed_payments + r.floating_payments;
    r.trade_init_date = format_date(advance_business_days(t1, settlement_delay));
    r.trade_close_date = format_date(advance_business_days(t2, settlement_delay));
    r.ois_date = ois_date();
    return r;
}

}  // namespace qvl
