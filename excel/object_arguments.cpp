#include "excel/object_arguments.hpp"

#include <cmath>
#include <stdexcept>

#include "excel/range_readers.hpp"
#include "objects/object_cache.hpp"
#include "xll/xloper.hpp"

namespace qvl::addin {

std::shared_ptr<const YieldCurve> curve_argument(const XLOPER12& cell) {
    return objects::ObjectCache::instance().require_curve(cell_text(cell));
}

std::shared_ptr<const QVLSeries> series_argument(const XLOPER12& cell) {
    return objects::ObjectCache::instance().require_series(cell_text(cell));
}

std::shared_ptr<QVLSwap> swap_argument(const XLOPER12& cell) {
    return objects::ObjectCache::instance().require_swap(cell_text(cell));
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

double held_rate_argument(const XLOPER12& cell, const QVLSwap& swap) {
    const double rate = number_argument(cell, swap.eventRate());
    return std::isnan(rate) ? swap.eventRate() : rate;
}

std::string ois_text(const QVLSwap& swap) {
    return format_date(swap.curve->trade_date());
}

}  // namespace qvl::addin
