// QVL.DiscountFactor and QVL.ForwardRate1D: one number from a cached curve. The handle is
// looked up before the date is read, so an unknown handle is reported whatever the date.

#include <stdexcept>

#include "core/date.hpp"
#include "core/yield_curve.hpp"
#include "excel/cell_readers.hpp"
#include "excel/object_arguments.hpp"
#include "excel/worksheet_functions.hpp"
#include "xll/worksheet.hpp"

namespace {

template <class Read>
XLOPER12* curve_number(xll::xloper& result, const XLOPER12* curve, const XLOPER12* target_date,
                       Read read) {
    return xll::respond(result, [&](xll::xloper& out) {
        const auto found = qvl::addin::curve_argument(*curve);
        const qvl::Date d = qvl::addin::DateFromCell(*target_date);
        if (d == qvl::invalid_date) throw std::runtime_error("Invalid target date");
        xll::set_number(out, read(*found, d));
    });
}

}  // namespace

QVL_VOLATILE_FUNCTION(DiscountFactor, 70, "Return the OIS discount factor for a target date.",
                      (LPXLOPER12 curve, LPXLOPER12 target_date), {"curve", curve_help},
                      {"target_date", "Target date for the discount factor."}) {
    static xll::xloper result;
    return curve_number(result, curve, target_date,
                        [](const qvl::YieldCurve& c, qvl::Date d) { return c.discount_factor(d); });
}

QVL_VOLATILE_FUNCTION(ForwardRate1D, 250, "Return the 1-day forward rate for a given date.",
                      (LPXLOPER12 curve, LPXLOPER12 target_date), {"curve", curve_help},
                      {"target_date", "Target date."}) {
    static xll::xloper result;
    return curve_number(result, curve, target_date,
                        [](const qvl::YieldCurve& c, qvl::Date d) { return c.forward_rate_1d(d); });
}
