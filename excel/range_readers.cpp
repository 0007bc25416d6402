#include "excel/range_readers.hpp"

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string_view>

#include "excel/cell_readers.hpp"
#include "objects/index_key.hpp"
#include "text/text_error.hpp"
#include "xll/xloper.hpp"

namespace qvl::addin {

namespace {

bool is_grid(const XLOPER12& x) {
    return xll::type_of(x) == xltypeMulti;
}

// Callers have checked the shape, so no wrapping and no ensure here.
const XLOPER12& cell_at(const XLOPER12& grid, int r, int c) {
    return grid.val.array.lparray[static_cast<std::size_t>(r) * grid.val.array.columns + c];
}

// Whether a cell is a string equal to an ASCII name, compared without converting it.
bool text_equals(const XLOPER12& cell, std::string_view name) {
    if (xll::type_of(cell) != xltypeStr || cell.val.str == nullptr) return false;
    const XCHAR* s = cell.val.str;
    if (static_cast<std::size_t>(s[0]) != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (s[i + 1] != static_cast<XCHAR>(name[i])) return false;
    }
    return true;
}

enum SeriesColumn { index_column, name_column, start_column, maturity_column, coupon_column };

constexpr std::array<std::string_view, 5> series_headers = {"SeriesIndex", "SeriesName",
                                                            "StartDate", "MaturityDate", "Coupon"};

}  // namespace

CurveInput ReadCurveTable(const XLOPER12& range) {
    if (!is_grid(range) || range.val.array.columns < 2) {
        throw std::runtime_error("discount_data must be a 2-column range (Tenor, ParRate)");
    }
    CurveInput pairs;
    pairs.reserve(static_cast<std::size_t>(range.val.array.rows));
    for (int r = 0; r < range.val.array.rows; ++r) {
        const XLOPER12& rate = cell_at(range, r, 1);
        if (!xll::is_numeric(rate)) continue;
        pairs.emplace_back(cell_text(cell_at(range, r, 0)), xll::numeric_of(rate));
    }
    return pairs;
}

SeriesRow ReadSeriesRow(const XLOPER12& range, const std::string& key) {
    if (!is_grid(range) || range.val.array.columns < 5) {
        throw std::runtime_error(
            "series_data must have columns: SeriesIndex, SeriesName, StartDate, MaturityDate, "
            "Coupon");
    }
    const int rows = range.val.array.rows;
    const int columns = range.val.array.columns;

    std::array<int, series_headers.size()> column;
    column.fill(-1);
    int header_row = -1;
    for (int r = 0; r < rows && header_row < 0; ++r) {
        for (int c = 0; c < columns; ++c) {
            for (std::size_t h = 0; h < series_headers.size(); ++h) {
                if (text_equals(cell_at(range, r, c), series_headers[h])) {
                    column[h] = c;
                    if (h == index_column) header_row = r;
                }
            }
        }
    }
    for (const int c : column) {
        if (header_row < 0 || c < 0) {
            throw std::runtime_error("series_data: could not find required column headers");
        }
    }

    for (int r = header_row + 1; r < rows; ++r) {
        if (objects::NormaliseIndexKey(cell_text(cell_at(range, r, column[index_column]))) != key)
            continue;
        SeriesRow row;
        row.name = cell_text(cell_at(range, r, column[name_column]));
        row.start_date = table_date(cell_at(range, r, column[start_column]));
        row.maturity_date = table_date(cell_at(range, r, column[maturity_column]));
        row.coupon_percent = xll::numeric_of(cell_at(range, r, column[coupon_column]));
        return row;
    }
    throw text::TextError("SeriesIndex '" + key + "' not found in series_data");
}

FactorRows ReadFactorTable(const XLOPER12& range, const std::string& key) {
    if (!is_grid(range) || range.val.array.columns < 2 || range.val.array.rows < 2) {
        throw std::runtime_error("factors_data must have a header row and at least one data row");
    }
    const int rows = range.val.array.rows;
    const int columns = range.val.array.columns;

    int factor_column = -1;
    for (int c = 1; c < columns && factor_column < 0; ++c) {
        if (objects::NormaliseIndexKey(cell_text(cell_at(range, 0, c))) == key) factor_column = c;
    }
    if (factor_column < 0) {
        throw text::TextError("factors_data: column for index '" + key +
                              "' not found in header row");
    }

    FactorRows factors;
    factors.reserve(static_cast<std::size_t>(rows - 1));
    for (int r = 1; r < rows; ++r) {
        const Date date = table_date(cell_at(range, r, 0));
        if (date == invalid_date) continue;
        const XLOPER12& factor = cell_at(range, r, factor_column);
        if (!xll::is_numeric(factor)) continue;
        factors.emplace_back(date, xll::numeric_of(factor));
    }
    return factors;
}

}  // namespace qvl::addin
