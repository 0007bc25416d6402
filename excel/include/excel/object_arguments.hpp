#pragma once

// Readers of the arguments that the object, calculation, curve and cashflow functions share.
// Each throws std::runtime_error with the message the user sees.

#include <memory>
#include <optional>
#include <string>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
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

// DateFromCell, with "Invalid trade date" for a cell that holds no date.
Date trade_date_argument(const XLOPER12& cell);

// A yes/no switch: a logical value, or a number that is yes unless 0; fallback for any other kind
// of value (a missing argument among them).
bool switch_argument(const XLOPER12& cell, bool fallback);

// A numeric cell's value, or fallback for any other kind of value.
double number_argument(const XLOPER12& cell, double fallback);

// A credit event rate that defaults to the rate the swap holds: the cell's number, or nullopt
// (the held rate) for anything but a usable number (a missing argument, a text, NaN).
std::optional<double> held_rate_argument(const XLOPER12& cell);

}  // namespace qvl::addin
