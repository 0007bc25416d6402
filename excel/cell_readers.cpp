#include "excel/cell_readers.hpp"

#include <cmath>
#include <stdexcept>

#include "excel/worksheet_functions.hpp"
#include "xll/xloper.hpp"

namespace qvl::addin {

namespace {

Date required_date(const XLOPER12& cell, const char* message) {
    const Date d = DateFromCell(cell);
    if (d == invalid_date) throw std::runtime_error(message);
    return d;
}

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

Date table_date(const XLOPER12& cell) {
    // An integer is no date on a sheet, although a table reads it as a number.
    return xll::type_of(cell) == xltypeInt ? invalid_date : qvl::table_date(table_cell(cell));
}

Date DateFromCell(const XLOPER12& cell) {
    try {
        return table_date(cell);
    } catch (const DateTextError&) {
        return invalid_date;
    }
}

Date trade_date_argument(const XLOPER12& cell) {
    return required_date(cell, "Invalid trade date");
}

Date date_argument(const XLOPER12* cell) {
    return required_date(*cell, "Invalid date");
}

std::string cell_text(const XLOPER12& cell) {
    return xll::utf8_of(cell);
}

bool switch_argument(const XLOPER12& cell, bool fallback) {
    switch (xll::type_of(cell)) {
        case xltypeBool:
            return cell.val.xbool != 0;
        case xltypeNum:
            return cell.val.num != 0.0;
        case xltypeInt:
            return cell.val.w != 0;
        default:
            return fallback;
    }
}

double number_argument(const XLOPER12& cell, double fallback) {
    return xll::is_numeric(cell) ? xll::numeric_of(cell) : fallback;
}

std::optional<double> held_rate_argument(const XLOPER12& cell) {
    if (!xll::is_numeric(cell)) return std::nullopt;
    const double rate = xll::numeric_of(cell);
    if (std::isnan(rate)) return std::nullopt;
    return rate;
}

std::int32_t roll_days_argument(const XLOPER12* cell) {
    if (!xll::is_numeric(*cell)) {
        return default_roll_days;
    }
    const double days = std::trunc(xll::numeric_of(*cell));
    if (!(std::fabs(days) <= qvl::longest_roll)) {
        throw std::runtime_error("Invalid roll_days");
    }
    return static_cast<std::int32_t>(days);
}

}  // namespace qvl::addin
