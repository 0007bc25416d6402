#pragma once

// The tables of the creating functions: the curve's tenors and rates, the series row and the
// writedown factors. The layout rules are the core's (core/tables.hpp), which the Python package
// reads its tables by too; a range is read as a table of its cells, and a value that is no grid
// as a table without cells. Every failure is a std::runtime_error naming the range.

#include <memory>

#include "core/qvl_series.hpp"
#include "core/yield_curve.hpp"
#include "xll/host_api.hpp"

namespace qvl::addin {

// (tenor, par rate) for every row whose second cell is numeric, in row order.
CurveInput ReadCurveTable(const XLOPER12& range);

// The series of the index cell from the series and factor ranges.
std::shared_ptr<const QVLSeries> SeriesFromRanges(const XLOPER12& index,
                                                  const XLOPER12& series_data,
                                                  const XLOPER12& factors_data);

}  // namespace qvl::addin
