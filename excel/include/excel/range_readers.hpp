#pragma once

#include <memory>
#include <string>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/tables.hpp"
#include "core/yield_curve.hpp"
#include "xll/host_api.hpp"

namespace qvl::addin {

// A cell value as a table cell: a string, a number (integers too), a logical, or empty for
// every other kind of value.
TableCell table_cell(const XLOPER12& cell);

// A cell as a date (cell_date): a non-negative number is a date serial, a non-empty text goes
// through parse_date; every other kind of value (negative numbers, booleans, integers, errors,
// missing, nil, grids) gives invalid_date. A text that holds numbers where the fields stand but
// names no day gives invalid_date too, so that each caller answers it with its own message; the
// reading errors of texts without such numbers ("invalid stoi argument", "invalid string
// position") travel on.
Date DateFromCell(const XLOPER12& cell);

// The UTF-8 text of a cell (cell_text): strings as they stand, whole numbers below 1e15 as
// integer digits, other numbers as "%.15g", booleans as 1 or 0, everything else empty.
std::string cell_text(const XLOPER12& cell);

// The range readers read a range as the core reads a table (core/tables.hpp); a value that is
// no grid is a table without cells. Every failure is a std::runtime_error naming the range.
CurveInput ReadCurveTable(const XLOPER12& range);

// The series of the index cell from the series and factor ranges.
std::shared_ptr<const QVLSeries> SeriesFromRanges(const XLOPER12& index,
                                                  const XLOPER12& series_data,
                                                  const XLOPER12& factors_data);

}  // namespace qvl::addin
