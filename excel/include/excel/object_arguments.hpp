#pragma once

// The cached objects that cells name, for the object, calculation, curve and cashflow functions;
// each reader throws std::runtime_error with the message the user sees. And the OIS date text
// the valuations show.

#include <memory>
#include <string>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/yield_curve.hpp"
#include "xll/host_api.hpp"

namespace qvl::addin {

// The cached object named by the cell's text, taken exactly as written.
std::shared_ptr<const YieldCurve> curve_argument(const XLOPER12& cell);
std::shared_ptr<const QVLSeries> series_argument(const XLOPER12& cell);
std::shared_ptr<QVLSwap> swap_argument(const XLOPER12& cell);

// The text of the OIS date the valuations show: the trade date of the swap's curve.
std::string ois_text(const QVLSwap& swap);

}  // namespace qvl::addin
