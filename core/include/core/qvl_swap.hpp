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
// and schedule are fixed at construction and it never changes afterwards: every valuation
// takes its trade date and event rate as arguments and changes nothing. What a handle remembers
// of its latest valuation lives beside the handle, in the object layer.
class QVLSwap {
  public:
    QVLSwap(std::shared_ptr<const QVLSeries> series, std::shared_ptr<const YieldCurve> curve,
            bool is_buyer, double credit_event_rate, double notional);
    // The same swap discounted on another curve: other's terms and schedule with the discount
    // factors of curve. Cheaper than building the schedule again.
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
                                     double event_rate) const;

    // The text of the OIS date the valuations show: the trade date of the swap's curve.
    std::string ois_date() const;

    // The operations of the worksheet and the service, each at a trade date and event rate of
    // its own. The solves throw SolveError (core/solver.hpp) when no rate reproduces the quote.
    ValuationResult calc_from_event_rate(Date t, double event_rate) const;
    ValuationResult solve_from_spread(Date t, double conventional_spread) const;
    ValuationResult solve_from_upfront(Date t, double upfront_fee) const;
    // One trade's cash at t, the periods projected afresh from t at event_rate.
    TradePayment trade_payment(Date t, double clean_price, bool initiation,
                               double event_rate) const;
    // The opening trade at t1 and the closing one at t2, all period amounts seen from t2.
    PnLResult trade_pnl(Date t1, double clean_price_1, Date t2, double clean_price_2,
                        double event_rate) const;

    // The same from a state valued already (the close state for the PnL).
    ValuationResult valuation(const ValuationState& s) const;
    PnLResult pnl_from(Date t1, double clean_price_1, const ValuationState& close,
                       double clean_price_2) const;
    // One trade's cash at t: the current notional from at, the accrued coupon from the
    // accrual period's notional as accrual_from projects it (a projection from another trade
    // date or rate, such as that of an earlier valuation, or at itself).
    TradePayment payment_at(Date t, double clean_price, bool initiation, const FactorProjection& at,
                            const FactorProjection& accrual_from) const;

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
    // The rate the swap was made with: what its handle holds before any valuation.
    const double initial_event_rate;

  private:
    void build_schedule();
    // The discount factors of every payment from the swap's curve.
    void discount_payments();
    // The fixed period accruing on t, if any.
    std::optional<std::size_t> accrual_period(Date t) const;
    double accrued_on(std::size_t period, Date t, double coupon_bps, double current_notional) const;
    // One trade's cash from its current notional and accrued coupon.
    TradePayment payment(double clean_price, bool initiation, double current_notional,
                         double accrued) const;

    std::vector<FloatingPeriod> floating_periods_;
    std::vector<FixedPeriod> fixed_periods_;
};

}  // namespace qvl
