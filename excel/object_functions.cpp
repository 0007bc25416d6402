// QVL.CreateCurve, QVL.CreateSeries, QVL.CreateSwap, QVL.GetSeriesInfo, QVL.GetSwapInfo and
// QVL.ClearCache: building, showing and dropping the cached objects. Every input is read and
// the object built before a handle is drawn, so a failed call leaves no gap in the numbering.
// A creating call from a worksheet cell replaces what that cell made before.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "core/conventions.hpp"
#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/yield_curve.hpp"
#include "excel/cell_readers.hpp"
#include "excel/object_arguments.hpp"
#include "excel/range_readers.hpp"
#include "excel/worksheet_functions.hpp"
#include "objects/object_cache.hpp"
#include "xll/host_call.hpp"
#include "xll/worksheet.hpp"
#include "xll/xloper.hpp"

using qvl::Date;
using qvl::format_date;
using qvl::invalid_date;
using qvl::addin::worksheet_cache;

namespace {

struct SeriesInfo {
    const qvl::QVLSeries& series;
};

template <class F>
void visit_fields(const SeriesInfo& info, F&& f) {
    const qvl::QVLSeries& s = info.series;
    f("Index", s.index);
    f("Name", s.name);
    f("Start Date", format_date(s.start_date));
    f("Maturity Date", format_date(s.maturity_date));
    f("Coupon (bps)", s.coupon_bps);
}

struct SwapInfo {
    const qvl::QVLSwap& swap;
    double event_rate;  // what the handle holds
};

template <class F>
void visit_fields(const SwapInfo& info, F&& f) {
    const qvl::QVLSwap& s = info.swap;
    f("Name", s.series_name);
    f("Start Date", format_date(s.start_date));
    f("Maturity Date", format_date(s.end_date));
    f("Coupon (bps)", s.coupon_bps);
    f("Frequency", qvl::frequency_text(s.frequency_months));
    f("Day Count", qvl::day_count_text);
    f("Pay Fixed/Float", std::string_view(s.is_buyer ? "Pay Fixed" : "Pay Floating"));
    f("Event Rate (bps)", info.event_rate);
    f("Notional", s.notional);
    f("Settlement Delay", s.settlement_delay);
    f("Payment Delay", s.payment_delay);
}

// Builds the object and stores it under a new handle. A call from a worksheet cell owns what it
// makes: whatever the cell made before leaves the cache, whether this call succeeds or fails, so
// a recalculated cell holds one object and its earlier handle answers "not found".
template <class Build>
void create_object(xll::xloper& out, Build&& build) {
    const std::optional<std::string> caller = xll::calling_cell();
    try {
        xll::set_text(out, worksheet_cache().add(build(), caller));
    } catch (...) {
        if (caller) worksheet_cache().drop_owned(*caller);
        throw;
    }
}

}  // namespace

QVL_VOLATILE_FUNCTION(CreateCurve, 60, "Construct and cache a YieldCurve. Returns a handle string.",
                      (LPXLOPER12 yc_date, LPXLOPER12 curve_data),
                      {"yc_date", "Yield-curve trade date (YYYY-MM-DD or Excel date)."},
                      {"OIS_Curve_Data", "2-column range (Tenor, ParRate) with OIS par rates."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        create_object(out, [&] {
            const Date d = qvl::addin::DateFromCell(*yc_date);
            if (d == invalid_date) throw std::runtime_error("Invalid yield-curve date");
            return std::make_shared<const qvl::YieldCurve>(d,
                                                           qvl::addin::ReadCurveTable(*curve_data));
        });
    });
}

QVL_VOLATILE_FUNCTION(
    CreateSeries, 80, "Construct and cache an QVLSeries. Returns a handle string.",
    (LPXLOPER12 index, LPXLOPER12 series_data, LPXLOPER12 factors_data),
    {"index", "Series index identifier."},
    {"series_data",
     "Range with columns: SeriesIndex, SeriesName, StartDate, MaturityDate, Coupon."},
    {"factors_data", "Range with dates in col 1 and writedown factors in subsequent cols."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        create_object(out, [&] {
            return qvl::addin::SeriesFromRanges(*index, *series_data, *factors_data);
        });
    });
}

QVL_VOLATILE_FUNCTION(
    GetSeriesInfo, 90,
    "Return series info as a 5x2 grid (Index, Name, Start Date, Maturity Date, Coupon).",
    (LPXLOPER12 series), {"series", series_help}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        xll::set_record_grid(out, SeriesInfo{*qvl::addin::series_argument(*series)});
    });
}

QVL_VOLATILE_FUNCTION(
    CreateSwap, 100,
    "Construct and cache an QVLSwap from cached series and curve. Returns a handle string.",
    (LPXLOPER12 series, LPXLOPER12 curve, LPXLOPER12 is_buyer, LPXLOPER12 credit_event_rate,
     LPXLOPER12 notional),
    {"series", series_help}, {"curve", curve_help},
    with_default("is_buyer", "TRUE for protection buyer", default_is_buyer ? "TRUE" : "FALSE"),
    with_default("credit_event_rate", "Credit event rate in bps", number_text(default_event_rate)),
    with_default("notional", "Original notional amount", number_text(default_notional))) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        create_object(out, [&] {
            auto found_series = qvl::addin::series_argument(*series);
            auto found_curve = qvl::addin::curve_argument(*curve);
            return std::make_shared<const qvl::objects::SwapHandle>(
                std::make_shared<const qvl::QVLSwap>(
                    std::move(found_series), std::move(found_curve),
                    qvl::addin::switch_argument(*is_buyer, qvl::default_is_buyer),
                    qvl::addin::number_argument(*credit_event_rate, qvl::default_event_rate),
                    qvl::addin::number_argument(*notional, qvl::default_notional)));
        });
    });
}

QVL_VOLATILE_FUNCTION(GetSwapInfo, 110, "Return swap info as an 11x2 grid.", (LPXLOPER12 swap),
                      {"swap", swap_help}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const auto calculation = worksheet_cache().calculation();
        const auto held = calculation.hold(qvl::addin::swap_argument(*swap));
        xll::set_record_grid(out, SwapInfo{held.swap(), held.memory().event_rate});
    });
}

QVL_FUNCTION(ClearCache, 170, "Clear the internal cache of curves, series, and swaps.", ()) {
    static xll::xloper result;
    return xll::respond(result, [](xll::xloper& out) {
        worksheet_cache().clear();
        xll::set_text(out, "Cache cleared");
    });
}
