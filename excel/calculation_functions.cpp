// QVL.CalcFromEventRate, QVL.SolveFromUpfront, QVL.SolveFromSpread, QVL.TradePnL and
// QVL.TotalPayment: one valuation of a cached swap, laid out as a grid of labels and values.
// Each runs under the calculation lock on the swap's handle, whose memory of the rate and trade
// date it leaves for the next call.

#include <optional>
#include <stdexcept>

#include "core/date.hpp"
#include "core/qvl_swap.hpp"
#include "core/results.hpp"
#include "excel/cell_readers.hpp"
#include "excel/object_arguments.hpp"
#include "excel/worksheet_functions.hpp"
#include "objects/object_cache.hpp"
#include "xll/worksheet.hpp"

using qvl::Date;
using qvl::addin::swap_argument;
using qvl::addin::trade_date_argument;
using qvl::addin::worksheet_cache;

QVL_VOLATILE_FUNCTION(CalcFromEventRate, 120,
                      "Compute all QVL swap outputs from a credit event rate. Returns a 15x2 grid.",
                      (LPXLOPER12 swap, LPXLOPER12 trade_date, double event_rate),
                      {"swap", swap_help}, {"trade_date", "The trade date."},
                      {"event_rate", "Credit event rate in bps."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = worksheet_cache().calculation();
        auto s = calculation.hold(swap_argument(*swap));
        const Date t = trade_date_argument(*trade_date);
        xll::set_record_grid(out, s.calc_from_event_rate(t, event_rate));
    });
}

QVL_VOLATILE_FUNCTION(
    SolveFromUpfront, 130,
    "Solve for the credit event rate from a given upfront fee. Returns a 15x2 grid.",
    (LPXLOPER12 swap, LPXLOPER12 trade_date, double upfront_fee), {"swap", swap_help},
    {"trade_date", "The trade date."}, {"upfront_fee", "Upfront fee (%)."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = worksheet_cache().calculation();
        auto s = calculation.hold(swap_argument(*swap));
        const Date t = trade_date_argument(*trade_date);
        xll::set_record_grid(out, s.solve_from_upfront(t, upfront_fee));
    });
}

QVL_VOLATILE_FUNCTION(
    SolveFromSpread, 140,
    "Solve for the credit event rate from a conventional spread. Returns a 15x2 grid.",
    (LPXLOPER12 swap, LPXLOPER12 trade_date, double conventional_spread), {"swap", swap_help},
    {"trade_date", "The trade date."}, {"conventional_spread", "Conventional spread in bps."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = worksheet_cache().calculation();
        auto s = calculation.hold(swap_argument(*swap));
        const Date t = trade_date_argument(*trade_date);
        xll::set_record_grid(out, s.solve_from_spread(t, conventional_spread));
    });
}

QVL_VOLATILE_FUNCTION(
    TradePnL, 150, "Compute PnL between two trade dates given clean prices. Returns a 14x2 grid.",
    (LPXLOPER12 swap, LPXLOPER12 trade_date_1, double clean_price_1, LPXLOPER12 trade_date_2,
     double clean_price_2, double event_rate),
    {"swap", swap_help}, {"trade_date_1", "Trade initiation date."},
    {"clean_price_1", "Clean price at initiation."}, {"trade_date_2", "Trade close date."},
    {"clean_price_2", "Clean price at close."},
    with_default("event_rate", "Credit event rate in bps", number_text(0))) {
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

QVL_VOLATILE_FUNCTION(
    TotalPayment, 160,
    "Return the payment breakdown for a given trade date and clean price. Returns a 4x2 grid.",
    (LPXLOPER12 swap, LPXLOPER12 trade_date, double clean_price, LPXLOPER12 is_trade_initiation,
     double credit_event_rate),
    {"swap", swap_help}, {"trade_date", "The trade date."}, {"clean_price", "Clean price."},
    {"IsTradeInitiation", "1 for trade initiation, 0 for close.",
     default_trade_initiation ? "1" : "0"},
    {"credit_event_rate", "Credit event rate in bps."}) {
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
