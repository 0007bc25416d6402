#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "core/date.hpp"

namespace qvl {

struct SeriesFactor {
    Date roll_date;  // the publication date from which the factor holds
    double factor;
};

using FactorRows = std::vector<std::pair<Date, double>>;

// Where a valuation at one trade date takes the series' factors from: the published ones before
// the projection start, the anchor's factor decayed at the event rate from there on. A value
// made by QVLSeries::validate_tradeDate; the rate is the caller's to set.
struct FactorProjection {
    Date trade_date = invalid_date;
    // The last factor rolled on or before the trade date.
    std::size_t anchor = 0;
    // The first publication date strictly after the anchor's roll date.
    Date projection_start = invalid_date;
    // The last publication date on or before the trade date, which valuations read the factor
    // at again and again; set when the trade date is on or after the projection start.
    Date trade_publication = invalid_date;
    double event_rate = std::numeric_limits<double>::quiet_NaN();  // bp
};

// One series of the QVL index: identity, life, coupon and published writedown factors, all
// fixed at construction. Swaps on the series share it; valuations only read it.
class QVLSeries {
  public:
    // coupon_percent is stored in basis points (2.0 -> 200.0). Factor rows whose factor is not
    // above 0 are skipped; the roll dates of the rest must be strictly ascending, since every
    // lookup is a binary search over them.
    QVLSeries(std::string index, std::string name, Date start_date, Date maturity_date,
              double coupon_percent, const FactorRows& factor_rows);

    void validate() const;
    // Checks that a trade date lies within the series' life and finds where the factors seen
    // from it come from, projected at event_rate.
    FactorProjection validate_tradeDate(Date tradeDate_in, double event_rate) const;
    double interpolate_writedown_factor(const FactorProjection& at, Date date_in) const;
    // The same factor for a date the caller knows to be a publication date, without searching
    // the calendar for it (the swap's schedule holds only publication dates).
    double writedown_factor_at_publication(const FactorProjection& at, Date publication_date) const;

    const std::string index;
    const std::string name;
    const Date start_date;
    const Date maturity_date;
    const double coupon_bps;
    const std::vector<SeriesFactor> factors;

  private:
    double factor_at(const FactorProjection& at, Date date_in, Date publication_on_or_before) const;

    // Per factor, the first publication date strictly after its roll date: the projection start
    // when that factor is the anchor.
    std::vector<Date> following_publication_;
};

}  // namespace qvl
