#include "excel/object_arguments.hpp"

#include <cmath>
#include <stdexcept>

#include "excel/range_readers.hpp"
#include "xll/xloper.hpp"

namespace qvl::addin {

std::shared_ptr<objects::ObjectCache> shared_worksheet_cache() {
    static const auto cache = std::make_shared<objects::ObjectCache>();
    return cache;
}

objects::ObjectCache& worksheet_cache() {
    static objects::ObjectCache& cache = *shared_worksheet_cache();
    return cache;
}

std::shared_ptr<const YieldCurve> curve_argument(const XLOPER12& cell) {
    return worksheet_cache().require<YieldCurve>(cell_text(cell));
}

std::shared_ptr<const QVLSeries> series_argument(const XLOPER12& cell) {
    return worksheet_cache().require<QVLSeries>(cell_text(cell));
}

std::shared_ptr<const objects::SwapHandle> swap_argument(const XLOPER12& cell) {
    return worksheet_cache().require<objects::SwapHandle>(cell_text(cell));
}

Date trade_date_argument(const XLOPER12& cell) {
    const Date d = DateFromCell(cell);
    if (d == invalid_date) throw std::runtime_error("Invalid trade date");
    return d;
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

}  // namespace qvl::addin
