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

TradePayment QVLSwap::trade_payment(Date t, double clean_price, bool initiation,
                                    double event_rate) {
    trade_date_ = t;
    FactorProjection at = series->validate_tradeDate(t, event_rate_);
    // 0 stands for the rate the swap holds; a NaN rate never equals it.
    const bool new_rate = event_rate != 0.0 && event_rate != event_rate_;
    if (new_rate) {
        event_rate_ = event_rate;
        at.event_rate = event_rate;
    }
    // A new rate, or a swap not valued yet, projects the periods afresh from t; otherwise they
    // stay as the latest valuation projected them.
    if (new_rate || !projected_) {
        ValuationState fresh;
        project_remembered(at, fresh);
    }

    const double current_notional = series->interpolate_writedown_factor(at, t) * notional;
    // The accrual period's notional as that projection gives it, which may be from another
    // trade date or, after a valuation that failed on its date, at another rate.
    double accrued = 0.0;
    if (const std::optional<std::size_t> i = accrual_period(t)) {
        const double period_notional = series->writedown_factor_at_publication(
                                           *projected_, floating_periods_[*i].publication_date) *
                                       notional;
        accrued = accrued_on(*i, t, coupon_bps, period_notional);
    }
    return payment(clean_price, initiation, current_notional, accrued);
}

double QVLSwap::get_trade_total_payment(Date t, double clean_price, double event_rate) {
    if (std::isnan(event_rate)) event_rate = event_rate_;
    return trade_payment(t, clean_price, false, event_rate).total_payment;
}

PnLResult QVLSwap::trade_pnl(Date t1, double clean_price_1, Date t2, double clean_price_2,
                             const std::string& ois_text, double event_rate) {
    // All period amounts are those seen from the close date.
    const ValuationState state = revalue(t2, event_rate);

    // Each trade's own date is checked, and the swap is left at it, as a payment would be.
    trade_date_ = t1;
    const FactorProjection at1 = series->validate_tradeDate(t1, event_rate);
    const TradePayment opening =
        payment(clean_price_1, true, series->interpolate_writedown_factor(at1, t1) * notional,
                accrued_interest(state, t1, coupon_bps));
    trade_date_ = t2;
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
    r.ois_date = ois_text;
    return r;
}

ValuationState QVLSwap::cashflow_state(Date t, double event_rate) {
    trade_date_ = t;
    const FactorProjection at = series->validate_tradeDate(t, event_rate);
    event_rate_ = event_rate;
    ValuationState state;
    project_remembered(at, state);
    return state;
}

}  // namespace qvl
