#include "excel/object_arguments.hpp"

#include "excel/cell_readers.hpp"
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

}  // namespace qvl::addin
