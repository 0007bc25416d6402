#include <cmath>

#include "core/calendar.hpp"
#include "core/numeric.hpp"
#include "core/qvl_swap.hpp"

namespace qvl {

TradePayment QVLSwap::trade_payment(Date t, double clean_price, bool initiation,
                                    double event_rate) {
    tradeDate = t;
    series->validate_tradeDate(t);
    // 0 stands for the rate the swap holds; a NaN rate never equals it.
    const bool new_rate = event_rate != 0.0 && event_rate != eventRate;
    if (new_rate) eventRate = event_rate;
    if (new_rate || !periods_projected) {
        project_factors();
        update_fixed_payments();
    }
    // Another swap on the same series may have left its own rate there.
    series->eventRate = eventRate;

    const double current_notional = series->interpolate_writedown_factor(t) * notional;
    const double accrued = accrued_interest(t);
    double upfront = (100.0 - clean_price) / 100.0 * current_notional * side_sign();
    double accrued_signed = -side_sign() * accrued;
    if (!initiation) {
        upfront = -upfront;
        accrued_signed = -accrued_signed;
    }
    return {current_notional, upfront, accrued_signed, upfront + accrued_signed};
}

double QVLSwap::get_trade_total_payment(Date t, double clean_price, double event_rate) {
    if (std::isnan(event_rate)) event_rate = eventRate;
    return trade_payment(t, clean_price, false, event_rate).total_payment;
}

PnLResult QVLSwap::trade_pnl(Date t1, double clean_price_1, Date t2, double clean_price_2,
                             const std::string& ois_text, double event_rate) {
    eventRate = event_rate;
    series->eventRate = event_rate;
    tradeDate = t2;
    project_factors();
    update_fixed_payments();

    const TradePayment opening = trade_payment(t1, clean_price_1, true, event_rate);
    const TradePayment closing = trade_payment(t2, clean_price_2, false, event_rate);

    CompensatedSum fixed;
    for (const FixedPeriod& p : fixed_periods) {
        if (p.accrual_end > t1 && p.accrual_end <= t2) fixed.add(p.fixed_payment);
    }
    CompensatedSum floating;
    for (const FloatingPeriod& p : floating_periods) {
        if (p.pays && p.effective_date > t1 && p.effective_date <= t2) {
            floating.add(p.writedown_payment);
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

}  // namespace qvl
