#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/yield_curve.hpp"

// The tables curves and series are made from, as a sheet lays them out: the rules for finding
// rows and columns and for reading their cells. The worksheet's ranges and the Python package's
// tables both go through them.

namespace qvl {

// One cell as a sheet holds it: empty, a number, a logical or a text (UTF-8).
using TableCell = std::variant<std::monostate, double, bool, std::string>;

// A rectangle of cells, read one cell at a time.
class CellTable {
  public:
    virtual int rows() const = 0;
    virtual int columns() const = 0;
    virtual TableCell cell(int row, int column) const = 0;
    // The cell as a number where the layout demands one; a cell that is none fails with the
    // table's own message.
    virtual double number(int row, int column) const = 0;

  protected:
    ~CellTable() = default;
};

// Whole numbers below 1e15 as integer digits, other numbers as "%.15g", logicals as 1 or 0,
// texts as they stand, an empty cell as "".
std::string cell_text(const TableCell& cell);
// Numbers, and logicals as 1 or 0.
std::optional<double> cell_number(const TableCell& cell);
// A date cell of a table: a non-negative number is a date serial (the time of day dropped), a
// non-empty text goes through parse_date, anything else is invalid_date. A text that names no
// day fails with its reading error, since a table skips or passes on rows without a date and
// would otherwise drop or misplace a row silently.
Date table_date(const TableCell& cell);

// (tenor, par rate) for every row whose second cell is numeric, in row order. Fails with
// std::runtime_error for a table of fewer than two columns.
CurveInput read_curve_table(const CellTable& table);

struct SeriesRow {
    std::string name;
    Date start_date = invalid_date;
    Date maturity_date = invalid_date;
    double coupon_percent = 0.0;
};

// The row of the series table whose SeriesIndex normalises to key; the header row is the first
// one holding "SeriesIndex", so title rows above it are allowed.
SeriesRow read_series_row(const CellTable& table, const std::string& key);

// (date, factor) from the column whose header normalises to key; rows without a date or a
// numeric factor are skipped. In both tables a date text that names no day fails the read.
FactorRows read_factor_table(const CellTable& table, const std::string& key);

// The series of an index (any text, normalised by NormaliseIndexKey) from the two tables.
std::shared_ptr<const QVLSeries> series_from_tables(std::string_view index,
                                                    const CellTable& series_table,
                                                    const CellTable& factor_table);

}  // namespace qvl
