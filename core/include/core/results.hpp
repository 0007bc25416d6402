#pragma once

#include <string>

// Output records of the valuations. Each record's labels are defined once, by its visit_fields,
// which the worksheet grids and the JSON documents both walk: f(label, value) is called per
// field in order, value being a double or a const std::string&.

namespace qvl {

struct ValuationResult {
    double upfront_fee = 0.0;
    double conventional_spread = 0.0;
    double par_spread = 0.0;
    double credit_event_rate = 0.0;
    double clean_price = 0.0;
    double current_notional = 0.0;
    double upfront_payment = 0.0;
    double accrued_interest = 0.0;
    double cash_settlement_amount = 0.0;
    double index_factor_at_trade = 0.0;
    double index_factor_at_maturity = 0.0;
    std::string trade_date;
    std::string settlement_date;
    std::string payment_date;
    std::string ois_date;
};

template <class F>
void visit_fields(const ValuationResult& r, F&& f) {
    f("Upfront Fee (%)", r.upfront_fee);
    f("Conventional Spread (bp)", r.conventional_spread);
    f("Par Spread (bp)", r.par_spread);
    f("Credit Event Rate (bp)", r.credit_event_rate);
    f("Clean Price", r.clean_price);
    f("Current Notional", r.current_notional);
    f("Upfront Payment", r.upfront_payment);
    f("Accrued Interest", r.accrued_interest);
    f("Cash Settlement Amount", r.cash_settlement_amount);
    f("Index Factor at Trade", r.index_factor_at_trade);
    f("Index Factor at Maturity", r.index_factor_at_maturity);
    f("Trade Date", r.trade_date);
    f("Settlement Date", r.settlement_date);
    f("Payment Date", r.payment_date);
    f("OIS Date", r.ois_date);
}

struct TradePayment {
    double current_notional = 0.0;
    double upfront_payment = 0.0;
    double accrued_interest = 0.0;
    double total_payment = 0.0;
};

template <class F>
void visit_fields(const TradePayment& r, F&& f) {
    f("Current Notional", r.current_notional);
    f("Upfront Payment", r.upfront_payment);
    f("Accrued Interest", r.accrued_interest);
    f("Total Payment", r.total_payment);
}

struct PnLResult {
    double current_notional_trade = 0.0;
    double upfront_payment_trade = 0.0;
    double accrued_interest_trade = 0.0;
    double total_payment_trade = 0.0;
    double current_notional_close = 0.0;
    double upfront_payment_close = 0.0;
    double accrued_interest_close = 0.0;
    double total_payment_close = 0.0;
    double fixed_payments = 0.0;
    double floating_payments = 0.0;
    double trade_pnl = 0.0;
    std::string trade_init_date;
    std::string trade_close_date;
    std::string ois_date;
};

template <class F>
void visit_fields(const PnLResult& r, F&& f) {
    f("Current Notional (Trade)", r.current_notional_trade);
    f("Upfront Payment (Trade)", r.upfront_payment_trade);
    f("Accrued Interest (Trade)", r.accrued_interest_trade);
    f("Total Payment (Trade)", r.total_payment_trade);
    f("Current Notional (Close)", r.current_notional_close);
    f("Upfront Payment (Close)", r.upfront_payment_close);
    f("Accrued Interest (Close)", r.accrued_interest_close);
    f("Total Payment (Close)", r.total_payment_close);
    f("Fixed Payments", r.fixed_payments);
    f("Floating Payments", r.floating_payments);
    f("Trade PnL", r.trade_pnl);
    f("Trade Init Date", r.trade_init_date);
    f("Trade Close Date", r.trade_close_date);
    f("OIS Date", r.ois_date);
}

}  // namespace qvl
