#include "core/qvl_swap.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/calendar.hpp"

namespace qvl {

namespace {

constexpr double max_notional = 1e15;
constexpr double max_event_rate_bps = 1e6;  // 10000 % a year

const QVLSeries& require_series(const std::shared_ptr<const QVLSeries>& series) {
    if (!series) throw std::runtime_error("QVLSwap: series is missing");
    return *series;
}

}  // namespace

QVLSwap::QVLSwap(std::shared_ptr<const QVLSeries> series_in,
                 std::shared_ptr<const YieldCurve> curve_in, bool is_buyer_in,
                 double credit_event_rate, double notional_in)
    : series(std::move(series_in)),
      curve(std::move(curve_in)),
      series_name(require_series(series).name),
      start_date(series->start_date),
      end_date(series->maturity_date),
      coupon_bps(series->coupon_bps),
      is_buyer(is_buyer_in),
      notional(notional_in),
      initial_event_rate(credit_event_rate) {
    if (!curve) throw std::runtime_error("QVLSwap: curve is missing");
    if (advance_business_days(start_date, 0) != start_date) {
        throw std::runtime_error("QVLSwap: start_date is not a business day");
    }
    if (advance_business_days(end_date, 0) != end_date) {
        throw std::runtime_error("QVLSwap: end_date is not a business day");
    }
    if (end_date <= start_date)
        throw std::runtime_error("QVLSwap: end_date is not after start_date");
    if (coupon_bps <= 0.0) {
        throw std::runtime_error("QVLSwap validate_coupon: Coupon must be positive");
    }
    if (!series->factors.empty() && series->factors.front().roll_date > start_date) {
        throw std::runtime_error("QVLSwap: index factors begin after start_date");
    }
    if (notional < 1e-10) throw std::runtime_error("QVLSwap: non-positive notional not supported");
    // Plausibility bounds far beyond any real trade: amounts stay finite below them.
    if (!(notional <= max_notional)) {
        throw std::runtime_error("QVLSwap: notional above 1e15 not supported");
    }
    if (!(std::fabs(initial_event_rate) <= max_event_rate_bps)) {
        throw std::runtime_error("QVLSwap: credit event rate beyond 1e6 bp in size not supported");
    }
    build_schedule();
}

QVLSwap::QVLSwap(const QVLSwap& other, std::shared_ptr<const YieldCurve> curve_in)
    : series(other.series),
      curve(std::move(curve_in)),
      series_name(other.series_name),
      start_date(other.start_date),
      end_date(other.end_date),
      coupon_bps(other.coupon_bps),
      frequency_months(other.frequency_months),
      settlement_delay(other.settlement_delay),
      payment_delay(other.payment_delay),
      is_buyer(other.is_buyer),
      notional(other.notional),
      initial_event_rate(other.initial_event_rate),
      floating_periods_(other.floating_periods_),
      fixed_periods_(other.fixed_periods_) {
    if (!curve) throw std::runtime_error("QVLSwap: curve is missing");
    discount_payments();
}

void QVLSwap::discount_payments() {
    for (FloatingPeriod& p : floating_periods_) {
        if (p.pays) p.discount_factor = curve->discount_factor(p.payment_date);
    }
    for (std::size_t j = 0; j < fixed_periods_.size(); ++j) {
        fixed_periods_[j].discount_factor = floating_periods_[j + 1].discount_factor;
    }
}

void QVLSwap::build_schedule() {
    const std::vector<Date> fixed_starts = month_starts(start_date, end_date, frequency_months);
    std::vector<Date> floating_starts =
        month_starts(start_date, add_months(end_date, frequency_months), frequency_months);
    // An end date on the last day of a short month leaves the floating list one month short:
    // every fixed period j takes its payment from floating period j + 1.
    if (!fixed_starts.empty() && floating_starts.size() <= fixed_starts.size()) {
        floating_starts.push_back(add_months(fixed_starts.back(), frequency_months));
    }

    floating_periods_.reserve(floating_starts.size());
    for (std::size_t k = 0; k < floating_starts.size(); ++k) {
        FloatingPeriod p;
        p.month_start = floating_starts[k];
        p.publication_date = next_publication_date(p.month_start, true);
        p.effective_date = next_publication_date(p.publication_date, false);
        if (k > 0) {
            p.payment_date = advance_business_days(p.publication_date, payment_delay);
            p.discount_factor = curve->discount_factor(p.payment_date);
            p.pays = true;
        }
        floating_periods_.push_back(p);
    }

    const std::string tenor = std::to_string(frequency_months) + "M";
    fixed_periods_.reserve(fixed_starts.size());
    for (std::size_t j = 0; j < fixed_starts.size(); ++j) {
        FixedPeriod p;
        p.month_start = fixed_starts[j];
        p.accrual_start = next_publication_date(p.month_start, false);
        p.accrual_end = next_publication_date(date_from_tenor(p.month_start, tenor), false);
        p.accrual_factor = year_fraction_act360(p.accrual_start, p.accrual_end);
        p.payment_date = floating_periods_[j + 1].payment_date;
        p.discount_factor = floating_periods_[j + 1].discount_factor;
        fixed_periods_.push_back(p);
    }
}

ValuationState QVLSwap::value_at(Date t, double event_rate) const {
    return project(series->validate_tradeDate(t, event_rate));
}

ValuationState QVLSwap::project(const FactorProjection& at) const {
    ValuationState state;
    project(at, state);
    return state;
}

void QVLSwap::project(const FactorProjection& at, ValuationState& into) const {
    into.projection = at;
    into.floating.resize(floating_periods_.size());
    for (std::size_t k = 0; k < floating_periods_.size(); ++k) {
        FloatingAmounts& a = into.floating[k];
        a.index_factor =
            series->writedown_factor_at_publication(at, floating_periods_[k].publication_date);
        a.current_notional = a.index_factor * notional;
        a.writedown_payment = k == 0 ? std::numeric_limits<double>::quiet_NaN()
                                     : into.floating[k - 1].current_notional - a.current_notional;
    }
}

std::string QVLSwap::ois_date() const {
    return format_date(curve->trade_date());
}

}  // namespace qvl
