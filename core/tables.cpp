#include "core/tables.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "core/index_key.hpp"
#include "text/text_error.hpp"

namespace qvl {

namespace {

bool text_equals(const TableCell& cell, std::string_view name) {
    const auto* text = std::get_if<std::string>(&cell);
    return text && *text == name;
}

enum SeriesColumn { index_column, name_column, start_column, maturity_column, coupon_column };

constexpr std::array<std::string_view, 5> series_headers = {"SeriesIndex", "SeriesName",
                                                            "StartDate", "MaturityDate", "Coupon"};

}  // namespace

std::string cell_text(const TableCell& cell) {
    if (const auto* text = std::get_if<std::string>(&cell)) return *text;
    const std::optional<double> number = cell_number(cell);
    if (!number) return {};
    char buffer[32];
    if (std::trunc(*number) == *number && std::fabs(*number) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(*number));
    } else {
        std::snprintf(buffer, sizeof buffer, "%.15g", *number);
    }
    return buffer;
}

std::optional<double> cell_number(const TableCell& cell) {
    if (const auto* number = std::get_if<double>(&cell)) return *number;
    if (const auto* logical = std::get_if<bool>(&cell)) return *logical ? 1.0 : 0.0;
    return std::nullopt;
}

Date table_date(const TableCell& cell) {
    if (const auto* text = std::get_if<std::string>(&cell)) {
        return text->empty() ? invalid_date : parse_date(*text);
    }
    if (const auto* number = std::get_if<double>(&cell)) {
        return *number < 0 ? invalid_date : date_from_serial(*number);
    }
    return invalid_date;
}

CurveInput read_curve_table(const CellTable& table) {
    if (table.columns() < 2) {
        throw std::runtime_error("discount_data must be a 2-column range (Tenor, ParRate)");
    }
    CurveInput pairs;
    pairs.reserve(static_cast<std::size_t>(table.rows()));
    for (int r = 0; r < table.rows(); ++r) {
        const std::optional<double> rate = cell_number(table.cell(r, 1));
        if (!rate) continue;
        pairs.emplace_back(cell_text(table.cell(r, 0)), *rate);
    }
    return pairs;
}

SeriesRow read_series_row(const CellTable& table, const std::string& key) {
    const int rows = table.rows();
    const int columns = table.columns();
    if (columns < 5) {
        throw std::runtime_error(
            "series_data must have columns: SeriesIndex, SeriesName, StartDate, MaturityDate, "
            "Coupon");
    }

    std::array<int, series_headers.size()> column;
    column.fill(-1);
    int header_row = -1;
    for (int r = 0; r < rows && header_row < 0; ++r) {
        for (int c = 0; c < columns; ++c) {
            const TableCell cell = table.cell(r, c);
            for (std::size_t h = 0; h < series_headers.size(); ++h) {
                if (text_equals(cell, series_headers[h])) {
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
        if (NormaliseIndexKey(cell_text(table.cell(r, column[index_column]))) != key) continue;
        SeriesRow row;
        row.name = cell_text(table.cell(r, column[name_column]));
        row.start_date = table_date(table.cell(r, column[start_column]));
        row.maturity_date = table_date(table.cell(r, column[maturity_column]));
        row.coupon_percent = table.number(r, column[coupon_column]);
        return row;
    }
    throw text::TextError("SeriesIndex '" + key + "' not found in series_data");
}

FactorRows read_factor_table(const CellTable& table, const std::string& key) {
    const int rows = table.rows();
    const int columns = table.columns();
    if (columns < 2 || rows < 2) {
        throw std::runtime_error("factors_data must have a header row and at least one data row");
    }

    int factor_column = -1;
    for (int c = 1; c < columns && factor_column < 0; ++c) {
        if (NormaliseIndexKey(cell_text(table.cell(0, c))) == key) factor_column = c;
    }
    if (factor_column < 0) {
        throw text::TextError("factors_data: column for index '" + key +
                              "' not found in header row");
    }

    FactorRows factors;
    factors.reserve(static_cast<std::size_t>(rows - 1));
    for (int r = 1; r < rows; ++r) {
        const Date date = table_date(table.cell(r, 0));
        if (date == invalid_date) continue;
        const std::optional<double> factor = cell_number(table.cell(r, factor_column));
        if (!factor) continue;
        factors.emplace_back(date, *factor);
    }
    return factors;
}

std::shared_ptr<const QVLSeries> series_from_tables(std::string_view index,
                                                    const CellTable& series_table,
                                                    const CellTable& factor_table) {
    std::string key = NormaliseIndexKey(index);
    SeriesRow row = read_series_row(series_table, key);
    const FactorRows factors = read_factor_table(factor_table, key);
    return std::make_shared<const QVLSeries>(std::move(key), std::move(row.name), row.start_date,
                                             row.maturity_date, row.coupon_percent, factors);
}

}  // namespace qvl
