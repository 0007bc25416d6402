#pragma once

// The tables of the creating functions: the curve's tenors and rates, the series row and the
// writedown factors.

#include <string>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/yield_curve.hpp"
#include "xll/host_api.hpp"

namespace qvl::addin {

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
