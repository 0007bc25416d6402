// QVL.Risk: the sensitivities of a cached swap next to its upfront payment, as a grid of labels
// and values. Its handle then remembers the trade date and rate it was given, as after
// QVL.CalcFromEventRate.

#include "core/date.hpp"
#include "core/qvl_swap.hpp"
#include "core/risk.hpp"
#include "excel/cell_readers.hpp"
#include "excel/object_arguments.hpp"
#include "excel/worksheet_functions.hpp"
#include "objects/object_cache.hpp"
#include "xll/worksheet.hpp"

QVL_VOLATILE_FUNCTION(Risk, 270,
                      "Compute the sensitivities of a swap: event rate, spread and OIS curve, each "
                      "for 1 bp. Returns a 5x2 grid.",
                      (LPXLOPER12 swap, LPXLOPER12 trade_date, LPXLOPER12 credit_event_rate),
                      {"swap", swap_help}, {"trade_date", "The trade date."},
                      {"credit_event_rate",
                       "Credit event rate in bps (default: the rate the swap holds)."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = qvl::addin::worksheet_cache().calculation();
        auto s = calculation.hold(qvl::addin::swap_argument(*swap));
        const qvl::Date t = qvl::addin::trade_date_argument(*trade_date);
        xll::set_record_grid(out, s.risk(t, qvl::addin::held_rate_argument(*credit_event_rate)));
    });
}
