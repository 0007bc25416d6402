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

const QVLSeries& require_series(const std::shared_ptr<QVLSeries>& series) {
    if (!series) throw std::runtime_error("QVLSwap: series is missing");
    return *series;
}

}  // namespace

QVLSwap::QVLSwap(std::shared_ptr<QVLSeries> series_in, std::shared_ptr<const YieldCurve> curve_in,
                 bool is_buyer_in, double credit_event_rate, double notional_in)
    : series(std::move(series_in)),
      curve(std::move(curve_in)),
      series_name(require_series(series).name),
      start_date(series->start_date),
      end_date(series->maturity_date),
      coupon_bps(series->coupon_bps),
      is_buyer(is_buyer_in),
      eventRate(credit_event_rate),
      notional(notional_in) {
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
    if (!(std::fabs(eventRate) <= max_event_rate_bps)) {
        throw std::runtime_error("QVLSwap: credit event rate beyond 1e6 bp in size not supported");
    }
    build_schedule();
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

    floating_periods.clear();
    floating_periods.reserve(floating_starts.size());
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
        floating_periods.push_back(p);
    }

    const std::string tenor = std::to_string(frequency_months) + "M";
    fixed_periods.clear();
    fixed_periods.reserve(fixed_starts.size());
    for (std::size_t j = 0; j < fixed_starts.size(); ++j) {
        FixedPeriod p;
        p.month_start = fixed_starts[j];
        p.accrual_start = next_publication_date(p.month_start, false);
        p.accrual_end = next_publication_date(date_from_tenor(p.month_start, tenor), false);
        p.accrual_factor = year_fraction_act360(p.accrual_start, p.accrual_end);
        p.payment_date = floating_periods[j + 1].payment_date;
        p.discount_factor = floating_periods[j + 1].discount_factor;
        fixed_periods.push_back(p);
    }
    periods_projected = false;
}

void QVLSwap::project_factors() {
    series->eventRate = eventRate;
    series->validate_tradeDate(tradeDate);
    periods_projected = false;
    for (std::size_t k = 0; k < floating_periods.size(); ++k) {
        FloatingPeriod& p = floating_periods[k];
        p.index_factor = series->writedown_factor_at_publication(p.publication_date);
        p.current_notional = p.index_factor * notional;
        if (k == 0) {
            p.writedown_payment = std::numeric_limits<double>::quiet_NaN();
            p.pays = false;
        } else {
            p.writedown_payment = floating_periods[k - 1].current_notional - p.current_notional;
            p.pays = true;
        }
    }
    periods_projected = true;
}

void QVLSwap::update_fixed_payments() {
    const double coupon = coupon_bps / 10000.0;
    for (std::size_t j = 0; j < fixed_periods.size(); ++j) {
        FixedPeriod& p = fixed_periods[j];
        p.notional = floating_periods[j].current_notional;
        p.fixed_payment = coupon * p.accrual_factor * p.notional;
    }
}

}  // namespace qvl
