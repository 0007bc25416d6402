#pragma once

#include <cstdint>

#include "core/date.hpp"

namespace qvl {

// New York banking days.
bool is_business_day(Date d);

// n = 0: d rolled forward to a business day; n > 0 / n < 0: the n-th business day after /
// before d (d itself is not rolled first).
Date advance_business_days(Date d, std::int32_t n);

// Index publication dates fall on the 8th NYB business day of each month.
Date publication_date_in_month(Date d);
Date next_publication_date(Date d, bool strictly_after = false);
Date previous_publication_date(Date d, bool strictly_before = false);

}  // namespace qvl
