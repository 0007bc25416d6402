// QVL.Risk: the sensitivities of a cached swap next to its upfront payment, as a grid of labels
// and values. It leaves the swap valued at the trade date and rate it was given, as
// QVL.CalcFromEventRate does.

#include <cmath>
#include <optional>
#include <string>
#include <type_traits>

#include "core/date.hpp"
#include "core/qvl_swap.hpp"
#include "core/risk.hpp"
#include "excel/object_arguments.hpp"
#include "excel/worksheet_functions.hpp"
#include "objects/object_cache.hpp"
#include "xll/worksheet.hpp"
#include "xll/xloper.hpp"

XLOPER12* QVL_Risk(XLOPER12* swap, XLOPER12* trade_date, XLOPER12* credit_event_rate) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto lock = qvl::objects::ObjectCache::instance().calculation_lock();
        const auto s = qvl::addin::swap_argument(*swap);
        const qvl::Date t = qvl::addin::trade_date_argument(*trade_date);
        // Anything but a usable number keeps the rate the swap holds.
        double rate = qvl::addin::number_argument(*credit_event_rate, s->eventRate());
        if (std::isnan(rate)) rate = s->eventRate();

        const qvl::RiskResult risk = qvl::risk(*s, t, rate);
        int rows = 0;
        visit_fields(risk, [&](const char*, const auto&) { ++rows; });
        xll::GridWriter grid(out, rows, 2);
        int r = 0;
        visit_fields(risk, [&](const char* label, const auto& value) {
            using Value = std::decay_t<decltype(value)>;
            grid.text(r, 0, label);
            if constexpr (std::is_same_v<Value, double>) {
                grid.number(r, 1, value);
            } else if constexpr (std::is_same_v<Value, std::optional<double>>) {
                // A measure that could not be computed shows as an empty text.
                if (value) {
                    grid.number(r, 1, *value);
                } else {
                    grid.text(r, 1, "");
                }
            } else {
                grid.text(r, 1, value);
            }
            ++r;
        });
    });
}
QVL_EXPORT(Risk);
