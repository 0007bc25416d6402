#include "excel/object_arguments.hpp"

#include "excel/cell_readers.hpp"
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

std::string ois_text(const QVLSwap& swap) {
    return format_date(swap.curve->trade_date());
}

}  // namespace qvl::addin
