// QVL.CashflowTable: the whole schedule of a cached swap as one grid with a header row.

#include <cstddef>
#include <vector>

#include "core/cashflow.hpp"
#include "core/date.hpp"
#include "core/qvl_swap.hpp"
#include "excel/cell_readers.hpp"
#include "excel/object_arguments.hpp"
#include "excel/worksheet_functions.hpp"
#include "objects/object_cache.hpp"
#include "xll/worksheet.hpp"
#include "xll/xloper.hpp"

QVL_VOLATILE_FUNCTION(CashflowTable, 260,
                      "Return the consolidated cashflow table. Returns a 2-D array with headers.",
                      (LPXLOPER12 swap, LPXLOPER12 trade_date, LPXLOPER12 credit_event_rate),
                      {"swap", swap_help}, {"trade_date", "The trade date."},
                      {"credit_event_rate",
                       "Credit event rate in bps (default: the rate the swap holds)."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = qvl::addin::worksheet_cache().calculation();
        auto s = calculation.hold(qvl::addin::swap_argument(*swap));
        const qvl::Date t = qvl::addin::trade_date_argument(*trade_date);
        const std::vector<qvl::CashflowRow> rows =
            s.cashflow_rows(t, qvl::addin::held_rate_argument(*credit_event_rate));
        constexpr int columns = static_cast<int>(qvl::cashflow_headers.size());
        xll::GridWriter grid(out, static_cast<int>(rows.size()) + 1, columns);
        for (int c = 0; c < columns; ++c) grid.text(0, c, qvl::cashflow_headers[c]);
        int r = 1;
        for (const qvl::CashflowRow& row : rows) {
            grid.text(r, 0, row.description);
            grid.text(r, 1, row.date_text);
            grid.numbers(r, 2, row.values);
            ++r;
        }
    });
}
