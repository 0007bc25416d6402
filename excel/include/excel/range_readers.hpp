#pragma once

#include <string>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/yield_curve.hpp"
#include "xll/host_api.hpp"

namespace qvl::addin {

// A cell as a date: a non-negative number is a date serial (the time of day dropped), a
// non-empty text goes through parse_date, an empty text and every other kind of value (negative
// numbers, booleans, integers, errors, missing, nil, grids) give invalid_date. A text that
// holds numbers where the fields stand but names no day gives invalid_date too, so that each
// caller answers it with its own message; the reading errors of texts without such numbers
// ("invalid stoi argument", "invalid string position") travel on.
Date DateFromCell(const XLOPER12& cell);

// The UTF-8 text of a cell: strings as they stand, whole numbers below 1e15 as integer digits,
// other numbers as "%.15g", booleans as 1 or 0, everything else empty.
std::string cell_text(const XLOPER12& cell);

// The range readers are lenient about layout (title rows, blank rows, extra columns) and strict
// about what they need; every failure is a std::runtime_error naming the range.

// (tenor, par rate) for every row whose second cell is numeric, in row order.
CurveInput ReadCurveTable(const XLOPER12& range);

struct SeriesRow {
    std::string name;
    Date start_date = invalid_date;
    Date maturity_date = invalid_date;
    double coupon_percent = 0.0;
};

// The row of the series table whose SeriesIndex normalises to key; the header row is the first
// one holding "SeriesIndex", so title rows above it are allowed.
SeriesRow ReadSeriesRow(const XLOPER12& range, const std::string& key);

// (date, factor) from the column whose header normalises to key; rows without a date or a
// numeric factor are skipped. In both tables a date text that names no day fails the read.
FactorRows ReadFactorTable(const XLOPER12& range, const std::string& key);

}  // namespace qvl::addin
