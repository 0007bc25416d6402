#pragma once

#include <cstdint>
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

// One series of the QVL index: identity, life, coupon and published writedown factors, plus the
// working state of the valuation in progress (trade date, event rate, projection anchor).
class QVLSeries {
  public:
    // coupon_percent is stored in basis points (2.0 -> 200.0). Factor rows whose factor is not
    // above 0 are skipped; the roll dates of the rest must be strictly ascending, since every
    // lookup is a binary search over them.
    QVLSeries(std::string index, std::string name, Date start_date, Date maturity_date,
              double coupon_percent, const FactorRows& factor_rows);

    void validate();
    void validate_tradeDate(Date tradeDate_in);
    double interpolate_writedown_factor(Date date_in) const;
    // The same factor for a date the caller knows to be a publication date, without searching
    // the calendar for it (the swap's schedule holds only publication dates).
    double writedown_factor_at_publication(Date publication_date) const;

    // Identity, fixed after construction.
    std::string index;
    std::string name;
    Date start_date;
    Date maturity_date;
    double coupon_bps;
    std::vector<SeriesFactor> factors;

    // Working state of the current valuation.
    Date tradeDate = invalid_date;
    double eventRate = std::numeric_limits<double>::quiet_NaN();
    std::int32_t anchor_index = -1;
    Date projection_start = invalid_date;

  private:
    double factor_at(Date date_in, Date publication_on_or_before) const;

    // Per factor, the first publication date strictly after its roll date: the projection start
    // when that factor is the anchor.
    std::vector<Date> following_publication_;
    // The last publication date on or before the last validated trade date, which valuations
    // read the factor at again and again.
    Date trade_publication_for_ = invalid_date;
    Date trade_publication_ = invalid_date;
};

}  // namespace qvl
