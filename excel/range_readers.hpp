#pragma once

#include <string>

#include "core/date.hpp"
#include "excel/host_api.hpp"

namespace qvl::addin {

// A cell as a date: a non-negative number is a date serial (the time of day dropped), a
// non-empty text goes through parse_date (whose errors travel on), an empty text and every other
// kind of value (negative numbers, booleans, integers, errors, missing, nil, grids) give
// invalid_date.
Date DateFromCell(const XLOPER12& cell);

// The UTF-8 text of a cell: strings as they stand, whole numbers below 1e15 as integer digits,
// other numbers as "%.15g", booleans as 1 or 0, everything else empty.
std::string CellText(const XLOPER12& cell);

}  // namespace qvl::addin
