#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/results.hpp"
#include "core/yield_curve.hpp"

namespace qvl {

// The dates of one floating period and the discount factor of its payment.
struct FloatingPeriod {
    Date month_start = invalid_date;
    Date publication_date = invalid_date;
    Date effective_date = invalid_date;
    Date payment_date = invalid_date;
    double discount_factor = std::numeric_limits<double>::quiet_NaN();
    bool pays = false;
};

// The dates of one fixed period, its accrual factor and the discount factor of its payment.
struct FixedPeriod {
    Date month_start = invalid_date;
    Date accrual_start = invalid_date;
    Date accrual_end = invalid_date;
    double accrual_factor = 0.0;
    Date payment_date = invalid_date;
    double discount_factor = std::numeric_limits<double>::quiet_NaN();
};

// What one floating period amounts to once the factors are projected.
struct FloatingAmounts {
    double index_factor = 0.0;
    double current_notional = 0.0;
    // The fall in notional since the previous period; NaN for the first period.
    double writedown_payment = 0.0;
};

// The swap seen from one trade date at one event rate: where the series' factors come from and
// the amounts of every floating period (one per entry of floating_periods()). Fixed period j
// accrues on the current notional of floating period j; its payment follows from the coupon
// that the pricing functions take.
struct ValuationState {
    FactorProjection projection;
    std::vector<FloatingAmounts> floating;

    Date trade_date() const { return projection.trade_date; }
    double event_rate() const { return projection.event_rate; }
};

// The outcome of a search for the credit event rate. The rate is the best point found; state
// is the swap at the last point evaluated, which the solves report their other outputs at.
struct EventRateSolution {
    double rate = 0.0;
    ValuationState state;
    std::int32_t evaluations = 0;
};

// A swap on one QVL series, discounted on one OIS curve, sharing ownership of both. Its terms
// and schedule are fixed at construction; pricing reads them together with a ValuationState and
// changes nothing. The swap remembers only the credit event rate and trade date of its latest
// valuation (shown by QVL.GetSwapInfo and the service) and where that valuation projected the
// factors from (a payment at the rate it holds reads those amounts); the operations that value
// the swap update them, and callers serialise those operations on one swap.
class QVLSwap {
  public:
    QVLSwap(std::shared_ptr<const QVLSeries> series, std::shared_ptr<const YieldCurve> curve,
            bool is_buyer, double credit_event_rate, double notional);
    // The same swap discounted on another curve: other's terms and schedule with the discount
    // factors of curve, and other's event rate but none of its latest valuation. Cheaper than
    // building the schedule again.
    QVLSwap(const QVLSwap& other, std::shared_ptr<const YieldCurve> curve);

    const std::vector<FloatingPeriod>& floating_periods() const { return floating_periods_; }
    const std::vector<FixedPeriod>& fixed_periods() const { return fixed_periods_; }

    // The valuation state at trade date t (checked by the series) and an event rate, and the
    // same for another projection, optionally into the storage of an existing state. A NaN
    // rate fails with the series' message.
    ValuationState value_at(Date t, double event_rate) const;
    ValuationState project(const FactorProjection& at) const;
    void project(const FactorProjection& at, ValuationState& into) const;

    // Pricing at a state, the fixed leg at coupon_bps.
    double side_sign() const { return is_buyer ? -1.0 : 1.0; }
    double fixed_payment(const ValuationState& s, std::size_t j, double coupon_bps) const {
        const double coupon = coupon_bps / 10000.0;
        return coupon * fixed_periods_[j].accrual_factor * s.floating[j].current_notional;
    }
    // Payments due after the state's trade date.
    double floating_leg_pv(const ValuationState& s) const;
    double fixed_leg_pv(const ValuationState& s, double coupon_bps) const;
    double leg_value(const ValuationState& s, double coupon_bps) const;
    // The coupon accrued at t, on the current notional of the accrual period in s (which may
    // have been projected from another trade date than t).
    double accrued_interest(const ValuationState& s, Date t, double coupon_bps) const;
    double dirty_value(const ValuationState& s, double coupon_bps) const;
    double upfront_fee(const ValuationState& s, double coupon_bps) const;
    // The spread that prices the floating leg: clean (without the accrued coupon) or par.
    double spread_bp(const ValuationState& s, bool clean) const;
    // All outputs at s; rows 1 to 4 from the arguments, rounded as the worksheet shows them.
    ValuationResult valuation_result(const ValuationState& s, double upfront,
                                     double conventional_spread, double par_spread,
                                     double event_rate, const std::string& ois_text) const;

    // The operations of the worksheet and the service. Each values the swap afresh and leaves
    // its rate and trade date in the swap, also when it fails part way.
    ValuationResult calc_from_event_rate(Date t, double event_rate, const std::string& ois_text);

    // The search for the rate that gives an upfront fee (target_upfront at the swap's coupon,
    // or 0 at a coupon of spread in spread_mode). The swap is left at the last point evaluated.
    EventRateSolution solve_event_rate(Date t, double spread, double target_upfront,
                                       bool spread_mode);
    ValuationResult solve_from_spread(Date t, double conventional_spread,
                                      const std::string& ois_text);
    ValuationResult solve_from_upfront(Date t, double upfront_fee_value,
                                       const std::string& ois_text);

    // An event rate of 0 stands for the rate the swap holds; the accrued coupon is then read
    // from the amounts its latest valuation projected.
    TradePayment trade_payment(Date t, double clean_price, bool initiation, double event_rate);
    // A NaN rate stands for the rate the swap holds.
    double get_trade_total_payment(Date t, double clean_price, double event_rate);
    PnLResult trade_pnl(Date t1, double clean_price_1, Date t2, double clean_price_2,
                        const std::string& ois_text, double event_rate);
    // The state a cashflow table shows: the swap takes t and, once the series accepts t, the
    // rate.
    ValuationState cashflow_state(Date t, double event_rate);

    // What the swap remembers of its latest valuation.
    double eventRate() const { return event_rate_; }
    Date tradeDate() const { return trade_date_; }

    const std::shared_ptr<const QVLSeries> series;
    const std::shared_ptr<const YieldCurve> curve;
    const std::string series_name;
    const Date start_date;
    const Date end_date;
    const double coupon_bps;
    const std::int32_t frequency_months = 1;
    const std::int32_t settlement_delay = 3;
    const std::int32_t payment_delay = 0;
    const bool is_buyer;
    const double notional;

  private:
    void build_schedule();
    // The discount factors of every payment from the swap's curve.
    void discount_payments();
    // The fixed period accruing on t, if any.
    std::optional<std::size_t> accrual_period(Date t) const;
    double accrued_on(std::size_t period, Date t, double coupon_bps, double current_notional) const;
    // project(at, into), and at becomes what the swap remembers as its latest projection; a
    // failure leaves none.
    void project_remembered(const FactorProjection& at, ValuationState& into);
    // The swap takes the rate and trade date, then values itself there.
    ValuationState revalue(Date t, double event_rate);
    // One trade's cash from its current notional and accrued coupon.
    TradePayment payment(double clean_price, bool initiation, double current_notional,
                         double accrued) const;

    std::vector<FloatingPeriod> floating_periods_;
    std::vector<FixedPeriod> fixed_periods_;

    double event_rate_;
    Date trade_date_ = invalid_date;
    std::optional<FactorProjection> projected_;
};

}  // namespace qvl
