#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/date.hpp"

namespace qvl {

struct CurvePillar {
    std::string tenor;
    double par_rate = 0.0;  // decimal fraction: 0.039765 is 3.9765 %
    Date date = invalid_date;
    double time = 0.0;             // ACT/360 from the spot date
    double discount_factor = 0.0;  // from the trade date
    double forward_rate = 0.0;     // continuously compounded, flat up to this pillar
};

using CurveInput = std::vector<std::pair<std::string, double>>;

// OIS discount curve bootstrapped from (tenor, par rate) pairs; immutable once built.
class YieldCurve {
public:
    YieldCurve(Date trade_date, const CurveInput& pairs);

    double discount_factor(Date d) const;
    double forward_rate_1d(Date d) const;

    Date trade_date() const { return trade_date_; }
    Date spot_date() const { return spot_date_; }
    const std::vector<CurvePillar>& pillars() const { return pillars_; }

private:
    Date trade_date_;
    Date spot_date_;
    std::vector<CurvePillar> pillars_;
};

}  // namespace qvl
