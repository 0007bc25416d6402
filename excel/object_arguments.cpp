#include "excel/object_arguments.hpp"

#include <stdexcept>

#include "excel/range_readers.hpp"
#include "objects/object_cache.hpp"
#include "xll/xloper.hpp"

namespace qvl::addin {

std::shared_ptr<const YieldCurve> CurveArgument(const XLOPER12& cell) {
    return ObjectCache::Instance().RequireCurve(CellText(cell));
}

std::shared_ptr<const QVLSeries> SeriesArgument(const XLOPER12& cell) {
    return ObjectCache::Instance().RequireSeries(CellText(cell));
}

std::shared_ptr<QVLSwap> SwapArgument(const XLOPER12& cell) {
    return ObjectCache::Instance().RequireSwap(CellText(cell));
}

Date TradeDateArgument(const XLOPER12& cell) {
    const Date d = DateFromCell(cell);
    if (d == invalid_date) throw std::runtime_error("Invalid trade date");
    return d;
}

bool SwitchArgument(const XLOPER12& cell, bool fallback) {
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

double NumberArgument(const XLOPER12& cell, double fallback) {
    return xll::is_numeric(cell) ? xll::numeric_of(cell) : fallback;
}

std::string OisText(const QVLSwap& swap) {
    return format_date(swap.curve->trade_date());
}

}  // namespace qvl::addin
