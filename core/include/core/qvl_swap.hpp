#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/results.hpp"
#include "core/yield_curve.hpp"

namespace qvl {

struct FloatingPeriod {
    Date month_start = invalid_date;
    Date publication_date = invalid_date;
    Date effective_date = invalid_date;
    Date payment_date = invalid_date;
    double discount_factor = std::numeric_limits<double>::quiet_NaN();
    double index_factor = 0.0;
    double current_notional = 0.0;
    double writedown_payment = 0.0;
    bool pays = false;
};

struct FixedPeriod {
    Date month_start = invalid_date;
    Date accrual_start = invalid_date;
    Date accrual_end = invalid_date;
    double accrual_factor = 0.0;
    Date payment_date = invalid_date;
    double discount_factor = std::numeric_limits<double>::quiet_NaN();
    double notional = 0.0;
    double fixed_payment = 0.0;
};

// A swap on one QVL series, discounted on one OIS curve. The swap shares ownership of both, so
// neither can be released while the swap is alive. Valuations write the working state of the
// swap and of its series; callers serialise them.
class QVLSwap {
  public:
    QVLSwap(std::shared_ptr<QVLSeries> series, std::shared_ptr<const YieldCurve> curve,
            bool is_buyer, double credit_event_rate, double notional);

    // Schedule and its updates.
    void build_schedule();
    void project_factors();
    void update_fixed_payments();

    // Valuation building blocks at trade date t (after project_factors/update_fixed_payments).
    double side_sign() const { return is_buyer ? -1.0 : 1.0; }
    double floating_leg_pv(Date t) const;
    double fixed_leg_pv(Date t) const;
    double leg_value(Date t) const;
    double accrued_interest(Date t) const;
    double dirty_value(Date t) const;
    double upfront_fee(Date t) const;
    double spread_bp(Date t, bool clean);
    void fill_valuation_result(Date t, double upfront_fee_value, const std::string& ois_text,
                               ValuationResult& result);

    ValuationResult calc_from_event_rate(Date t, double event_rate, const std::string& ois_text);

    // Solving for the credit event rate.
    double solve_event_rate(Date t, double spread, double target_upfront, bool spread_mode);
    ValuationResult solve_from_spread(Date t, double conventional_spread,
                                      const std::string& ois_text);
    ValuationResult solve_from_upfront(Date t, double upfront_fee_value,
                                       const std::string& ois_text);

    // Trade payments and PnL.
    TradePayment trade_payment(Date t, double clean_price, bool initiation, double event_rate);
    double get_trade_total_payment(Date t, double clean_price, double event_rate);
    PnLResult trade_pnl(Date t1, double clean_price_1, Date t2, double clean_price_2,
                        const std::string& ois_text, double event_rate);

    std::shared_ptr<QVLSeries> series;
    std::shared_ptr<const YieldCurve> curve;
    std::string series_name;
    Date start_date;
    Date end_date;
    double coupon_bps;
    std::int32_t frequency_months = 1;
    std::int32_t settlement_delay = 3;
    std::int32_t payment_delay = 0;
    bool is_buyer;
    double eventRate;
    double solve_target = std::numeric_limits<double>::quiet_NaN();
    double notional;
    Date tradeDate = invalid_date;
    std::vector<FloatingPeriod> floating_periods;
    std::vector<FixedPeriod> fixed_periods;
    // False until project_factors has filled the periods once.
    bool periods_projected = false;
    // Objective evaluations made by the last solve_event_rate.
    std::int32_t solve_evaluations = 0;

  private:
    // Rows 1 to 4 from the arguments, the rest from fill_valuation_result, all rounded.
    ValuationResult rounded_result(Date t, double upfront, double conventional_spread,
                                   double par_spread, double event_rate,
                                   const std::string& ois_text);
};

}  // namespace qvl
