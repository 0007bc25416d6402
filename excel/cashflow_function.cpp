// QVL.CashflowTable: the whole schedule of a cached swap as one grid with a header row.

#include <cmath>
#include <cstddef>
#include <string_view>
#include <vector>

#include "core/cashflow.hpp"
#include "core/date.hpp"
#include "core/qvl_swap.hpp"
#include "excel/object_arguments.hpp"
#include "excel/object_cache.hpp"
#include "excel/worksheet.hpp"
#include "excel/worksheet_functions.hpp"
#include "excel/xloper.hpp"

namespace {

// The table has some 500 cells, so its cells are written straight into the fresh grid: texts
// that are plain ASCII (all of them, in practice) are widened without UTF-8 decoding.
void put_text(xll::xloper& cell, std::string_view text) {
    XCHAR wide[128];
    if (text.size() > std::size(wide)) {
        cell.str_alloc(text.data(), text.size());
        return;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            cell.str_alloc(text.data(), text.size());
            return;
        }
        wide[i] = byte;
    }
    cell.str_alloc(wide, text.size());
}

// A value the date does not carry (NaN) shows as an empty text.
void put_number(xll::xloper& cell, double value) {
    if (std::isfinite(value)) {
        cell.val.num = value;
        cell.xltype = xltypeNum;
    } else {
        cell.str_alloc(static_cast<const XCHAR*>(nullptr), 0);
    }
}

}  // namespace

XLOPER12* QVL_CashflowTable(XLOPER12* swap, XLOPER12* trade_date, XLOPER12* credit_event_rate) {
    static xll::xloper result;
    return xll::Respond(result, [&](xll::xloper& out) {
        const auto lock = qvl::addin::ObjectCache::Instance().CalculationLock();
        const auto s = qvl::addin::SwapArgument(*swap);
        const qvl::Date t = qvl::addin::TradeDateArgument(*trade_date);
        // Anything but a usable number keeps the rate the swap holds.
        double rate = qvl::addin::NumberArgument(*credit_event_rate, s->eventRate);
        if (std::isnan(rate)) rate = s->eventRate;

        const std::vector<qvl::CashflowRow> rows = qvl::cashflow_rows(*s, t, rate);
        constexpr std::size_t columns = qvl::cashflow_headers.size();
        out.multi_realloc(static_cast<int>(rows.size()) + 1, static_cast<int>(columns));
        xll::xloper* cell = &out.index(0);
        for (const char* header : qvl::cashflow_headers) put_text(*cell++, header);
        for (const qvl::CashflowRow& row : rows) {
            put_text(*cell++, row.description);
            put_text(*cell++, row.date_text);
            for (const double value : row.values) put_number(*cell++, value);
        }
    });
}
QVL_EXPORT(CashflowTable);
