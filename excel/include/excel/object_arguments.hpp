#pragma once

// The cache of the worksheet functions and the cached objects that cells name, for the object,
// calculation, curve and cashflow functions; each reader throws std::runtime_error with the
// message the user sees.

#include <memory>

#include "core/qvl_series.hpp"
#include "core/yield_curve.hpp"
#include "objects/object_cache.hpp"
#include "xll/host_api.hpp"

namespace qvl::addin {

// The cache of the worksheet functions, one per process; the service started from the sheet
// serves it.
objects::ObjectCache& worksheet_cache();
std::shared_ptr<objects::ObjectCache> shared_worksheet_cache();

// The cached object named by the cell's text, taken exactly as written.
std::shared_ptr<const YieldCurve> curve_argument(const XLOPER12& cell);
std::shared_ptr<const QVLSeries> series_argument(const XLOPER12& cell);
std::shared_ptr<const objects::SwapHandle> swap_argument(const XLOPER12& cell);

}  // namespace qvl::addin
