#include "core/qvl_series.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "core/calendar.hpp"

namespace qvl {

namespace {

constexpr double max_coupon_bps = 1e6;
constexpr double max_factor = 1e6;

// Position of the last factor whose roll date is on or before d, never below the first.
std::size_t last_rolled_on_or_before(const std::vector<SeriesFactor>& factors, Date d) {
    auto it = std::upper_bound(factors.begin(), factors.end(), d,
                               [](Date date, const SeriesFactor& f) { return date < f.roll_date; });
    return it == factors.begin() ? 0 : static_cast<std::size_t>(it - factors.begin()) - 1;
}

// The usable rows, each rolled to the publication date from which its factor holds.
std::vector<SeriesFactor> rolled_factors(const FactorRows& factor_rows) {
    std::vector<SeriesFactor> factors;
    for (const auto& [date, factor] : factor_rows) {
        if (!(factor > 0.0)) continue;
        factors.push_back({next_publication_date(date, true), factor});
    }
    return factors;
}

}  // namespace

QVLSeries::QVLSeries(std::string index_in, std::string name_in, Date start_date_in,
                     Date maturity_date_in, double coupon_percent, const FactorRows& factor_rows)
    : index(std::move(index_in)),
      name(std::move(name_in)),
      start_date(start_date_in),
      maturity_date(maturity_date_in),
      coupon_bps(coupon_percent * 100.0),
      factors(rolled_factors(factor_rows)) {
    validate();
    following_publication_.reserve(factors.size());
    for (const SeriesFactor& f : factors) {
        following_publication_.push_back(next_publication_date(f.roll_date, true));
    }
}

void QVLSeries::validate() const {
    if (advance_business_days(start_date, 0) != start_date) {
        throw std::runtime_error("QVLSeries validate: start_date is not a business day");
    }
    if (maturity_date <= start_date) {
        throw std::runtime_error("QVLSeries validate: maturity_date is not after start_date");
    }
    // Plausibility bounds far beyond any traded series, below which every valuation stays
    // finite: a coupon of at most 10000 % and published factors of at most 1e6 (a factor is a
    // fraction of the original notional, so at most 1 in practice).
    if (!(std::fabs(coupon_bps) <= max_coupon_bps)) {
        throw std::runtime_error("QVLSeries validate: coupon beyond 10000 % not supported");
    }
    if (factors.empty()) throw std::runtime_error("QVLSeries validate: no writedown factors");
    if (factors.front().roll_date > start_date) {
        throw std::runtime_error(
            "QVLSeries validate: index factors start date is after start_date");
    }
    for (const SeriesFactor& f : factors) {
        if (!(f.factor <= max_factor)) {
            throw std::runtime_error(
                "QVLSeries validate: writedown factor above 1e6 not supported");
        }
    }
    for (std::size_t i = 1; i < factors.size(); ++i) {
        if (factors[i].roll_date <= factors[i - 1].roll_date) {
            throw std::runtime_error("QVLSeries validate: factor dates are not in ascending order");
        }
    }
}

FactorProjection QVLSeries::validate_tradeDate(Date tradeDate_in, double event_rate) const {
    if (tradeDate_in < start_date) {
        throw std::runtime_error(
            "QVLSeries validate_tradeDate: tradeDate_in is before swap start date");
    }
    if (tradeDate_in >= maturity_date) {
        throw std::runtime_error(
            "QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date");
    }
    FactorProjection at;
    at.trade_date = tradeDate_in;
    at.anchor = last_rolled_on_or_before(factors, tradeDate_in);
    at.projection_start = following_publication_[at.anchor];
    // Only a trade date from the projection start on reads its factor from a publication date.
    if (tradeDate_in >= at.projection_start) {
        at.trade_publication = previous_publication_date(tradeDate_in, false);
    }
    at.event_rate = event_rate;
    return at;
}

double QVLSeries::interpolate_writedown_factor(const FactorProjection& at, Date date_in) const {
    // Only projected factors need the publication date; published ones are found by roll date.
    Date publication = invalid_date;
    if (at.trade_date != invalid_date && !std::isnan(at.event_rate) &&
        date_in >= at.projection_start) {
        publication = date_in == at.trade_date ? at.trade_publication
                                               : previous_publication_date(date_in, false);
    }
    return factor_at(at, date_in, publication);
}

double QVLSeries::writedown_factor_at_publication(const FactorProjection& at,
                                                  Date publication_date) const {
    return factor_at(at, publication_date, publication_date);
}

double QVLSeries::factor_at(const FactorProjection& at, Date date_in,
                            Date publication_on_or_before) const {
    if (at.trade_date == invalid_date || at.anchor >= factors.size()) {
        throw std::runtime_error("QVLSeries interpolate_writedown_factor: tradeDate not set");
    }
    if (std::isnan(at.event_rate)) {
        throw std::runtime_error("QVLSeries interpolate_writedown_factor: eventRate not set");
    }
    if (date_in < factors.front().roll_date) {
        throw std::runtime_error(
            "QVLSeries interpolate_writedown_factor: date_in is before first series roll date");
    }
    if (date_in < at.projection_start) {
        return factors[last_rolled_on_or_before(factors, date_in)].factor;
    }

    const SeriesFactor& anchor = factors[at.anchor];
    const double tau = year_fraction_act360(anchor.roll_date, publication_on_or_before);
    const double rate = at.event_rate / 10000.0;
    return anchor.factor * std::exp(-tau * rate);
}

}  // namespace qvl
