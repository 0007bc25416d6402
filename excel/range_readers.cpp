#include "excel/range_readers.hpp"

#include <cstddef>

#include "xll/xloper.hpp"

namespace qvl::addin {

namespace {

// A range argument as a table: a grid's cells, and no cells for any other value, which the
// readers then refuse with their own messages.
class RangeTable final : public CellTable {
  public:
    explicit RangeTable(const XLOPER12& range) : range_(range) {}

    int rows() const override { return is_grid() ? range_.val.array.rows : 0; }
    int columns() const override { return is_grid() ? range_.val.array.columns : 0; }
    TableCell cell(int row, int column) const override { return table_cell(at(row, column)); }
    double number(int row, int column) const override { return xll::numeric_of(at(row, column)); }

  private:
    bool is_grid() const { return xll::type_of(range_) == xltypeMulti; }
    // Callers stay within rows() and columns(), so no wrapping and no ensure here.
    const XLOPER12& at(int row, int column) const {
        return range_.val.array
            .lparray[static_cast<std::size_t>(row) * range_.val.array.columns + column];
    }

    const XLOPER12& range_;
};

}  // namespace

TableCell table_cell(const XLOPER12& cell) {
    switch (xll::type_of(cell)) {
        case xltypeStr:
            return xll::utf8_of(cell);
        case xltypeNum:
        case xltypeInt:
            return xll::numeric_of(cell);
        case xltypeBool:
            return cell.val.xbool != 0;
        default:
            return std::monostate{};
    }
}

Date DateFromCell(const XLOPER12& cell) {
    // An integer cell is no date on a sheet, although a table reads it as a number.
    if (xll::type_of(cell) == xltypeInt) return invalid_date;
    return cell_date(table_cell(cell));
}

std::string cell_text(const XLOPER12& cell) {
    return qvl::cell_text(table_cell(cell));
}

CurveInput ReadCurveTable(const XLOPER12& range) {
    return read_curve_table(RangeTable(range));
}

std::shared_ptr<const QVLSeries> SeriesFromRanges(const XLOPER12& index,
                                                  const XLOPER12& series_data,
                                                  const XLOPER12& factors_data) {
    return series_from_tables(cell_text(index), RangeTable(series_data), RangeTable(factors_data));
}

}  // namespace qvl::addin
