// QVL.CalcFromEventRate, QVL.SolveFromUpfront, QVL.SolveFromSpread, QVL.TradePnL and
// QVL.TotalPayment: one valuation of a cached swap, laid out as a grid of labels and values.
// Each runs under the calculation lock on the swap's handle, whose memory of the rate and trade
// date it leaves for the next call.

#include <optional>
#include <stdexcept>

#include "core/date.hpp"
#include "core/qvl_swap.hpp"
#include "core/results.hpp"
#include "excel/object_arguments.hpp"
#include "excel/range_readers.hpp"
#include "excel/worksheet_functions.hpp"
#include "objects/object_cache.hpp"
#include "xll/worksheet.hpp"

using qvl::Date;
using qvl::addin::swap_argument;
using qvl::addin::trade_date_argument;
using qvl::addin::worksheet_cache;

XLOPER12* QVL_CalcFromEventRate(XLOPER12* swap, XLOPER12* trade_date, double event_rate) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = worksheet_cache().calculation();
        auto s = calculation.hold(swap_argument(*swap));
        const Date t = trade_date_argument(*trade_date);
        xll::set_record_grid(out, s.calc_from_event_rate(t, event_rate));
    });
}
QVL_EXPORT(CalcFromEventRate);

XLOPER12* QVL_SolveFromUpfront(XLOPER12* swap, XLOPER12* trade_date, double upfront_fee) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = worksheet_cache().calculation();
        auto s = calculation.hold(swap_argument(*swap));
        const Date t = trade_date_argument(*trade_date);
        xll::set_record_grid(out, s.solve_from_upfront(t, upfront_fee));
    });
}
QVL_EXPORT(SolveFromUpfront);

XLOPER12* QVL_SolveFromSpread(XLOPER12* swap, XLOPER12* trade_date, double conventional_spread) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = worksheet_cache().calculation();
        auto s = calculation.hold(swap_argument(*swap));
        const Date t = trade_date_argument(*trade_date);
        xll::set_record_grid(out, s.solve_from_spread(t, conventional_spread));
    });
}
QVL_EXPORT(SolveFromSpread);

XLOPER12* QVL_TradePnL(XLOPER12* swap, XLOPER12* trade_date_1, double clean_price_1,
                       XLOPER12* trade_date_2, double clean_price_2, double event_rate) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = worksheet_cache().calculation();
        auto s = calculation.hold(swap_argument(*swap));
        // Read in this order so that a first date that is no date at all reports its own error.
        const Date t1 = qvl::addin::DateFromCell(*trade_date_1);
        const Date t2 = qvl::addin::DateFromCell(*trade_date_2);
        if (t1 == qvl::invalid_date || t2 == qvl::invalid_date) {
            throw std::runtime_error("Invalid trade date(s)");
        }
        xll::set_record_grid(out, s.trade_pnl(t1, clean_price_1, t2, clean_price_2, event_rate));
    });
}
QVL_EXPORT(TradePnL);

XLOPER12* QVL_TotalPayment(XLOPER12* swap, XLOPER12* trade_date, double clean_price,
                           XLOPER12* is_trade_initiation, double credit_event_rate) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = worksheet_cache().calculation();
        auto s = calculation.hold(swap_argument(*swap));
        const Date t = trade_date_argument(*trade_date);
        const bool initiation =
            qvl::addin::switch_argument(*is_trade_initiation, qvl::addin::default_trade_initiation);
        // A rate of 0 (also a missing one) keeps the rate the swap holds.
        const std::optional<double> rate =
            credit_event_rate == 0.0 ? std::nullopt : std::optional<double>(credit_event_rate);
        xll::set_record_grid(out, s.trade_payment(t, clean_price, initiation, rate));
    });
}
QVL_EXPORT(TotalPayment);
