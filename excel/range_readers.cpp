#include "excel/range_readers.hpp"

#include <cstddef>

#include "core/tables.hpp"
#include "excel/cell_readers.hpp"
#include "xll/xloper.hpp"

namespace qvl::addin {

namespace {

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

CurveInput ReadCurveTable(const XLOPER12& range) {
    return read_curve_table(RangeTable(range));
}

std::shared_ptr<const QVLSeries> SeriesFromRanges(const XLOPER12& index,
                                                  const XLOPER12& series_data,
                                                  const XLOPER12& factors_data) {
    return series_from_tables(cell_text(index), RangeTable(series_data), RangeTable(factors_data));
}

}  // namespace qvl::addin
