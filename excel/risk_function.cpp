// QVL.Risk: the sensitivities of a cached swap next to its upfront payment, as a grid of labels
// and values. Its handle then remembers the trade date and rate it was given, as after
// QVL.CalcFromEventRate.

#include "core/date.hpp"
#include "core/qvl_swap.hpp"
#include "core/risk.hpp"
#include "excel/object_arguments.hpp"
#include "excel/worksheet_functions.hpp"
#include "objects/object_cache.hpp"
#include "xll/worksheet.hpp"

XLOPER12* QVL_Risk(XLOPER12* swap, XLOPER12* trade_date, XLOPER12* credit_event_rate) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = qvl::addin::worksheet_cache().calculation();
        auto s = calculation.hold(qvl::addin::swap_argument(*swap));
        const qvl::Date t = qvl::addin::trade_date_argument(*trade_date);
        xll::set_record_grid(out, s.risk(t, qvl::addin::held_rate_argument(*credit_event_rate)));
    });
}
QVL_EXPORT(Risk);
