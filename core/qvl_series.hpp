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
    // above 0 are skipped; the rest must come in strictly ascending date order.
    QVLSeries(std::string index, std::string name, Date start_date, Date maturity_date,
              double coupon_percent, const FactorRows& factor_rows);

    void validate();
    void validate_tradeDate(Date tradeDate_in);
    double interpolate_writedown_factor(Date date_in) const;

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
};

}  // namespace qvl
