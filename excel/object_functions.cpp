// QVL.CreateCurve, QVL.CreateSeries, QVL.CreateSwap, QVL.GetSeriesInfo, QVL.GetSwapInfo and
// QVL.ClearCache: building, showing and dropping the cached objects. Every input is read and
// the object built before a handle is drawn, so a failed call leaves no gap in the numbering.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "core/conventions.hpp"
#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/yield_curve.hpp"
#include "excel/index_key.hpp"
#include "excel/object_arguments.hpp"
#include "excel/object_cache.hpp"
#include "excel/range_readers.hpp"
#include "excel/worksheet.hpp"
#include "excel/worksheet_functions.hpp"
#include "excel/xloper.hpp"

using qvl::Date;
using qvl::format_date;
using qvl::invalid_date;
using qvl::addin::ObjectCache;

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
    f("Event Rate (bps)", s.eventRate);
    f("Notional", s.notional);
    f("Settlement Delay", s.settlement_delay);
    f("Payment Delay", s.payment_delay);
}

template <class Object>
void store_and_answer(xll::xloper& out, std::string_view prefix, Object object,
                      void (ObjectCache::*store)(const std::string&, Object)) {
    ObjectCache& cache = ObjectCache::Instance();
    const std::string handle = cache.MakeHandle(prefix);
    (cache.*store)(handle, std::move(object));
    xll::SetText(out, handle);
}

}  // namespace

XLOPER12* QVL_CreateCurve(XLOPER12* yc_date, XLOPER12* curve_data) {
    static xll::xloper result;
    return xll::Respond(result, [&](xll::xloper& out) {
        const auto lock = ObjectCache::Instance().CalculationLock();
        const Date d = qvl::addin::DateFromCell(*yc_date);
        if (d == invalid_date) throw std::runtime_error("Invalid yield-curve date");
        auto curve =
            std::make_shared<const qvl::YieldCurve>(d, qvl::addin::ReadCurveTable(*curve_data));
        store_and_answer(out, "YC", std::move(curve), &ObjectCache::StoreCurve);
    });
}
QVL_EXPORT(CreateCurve);

XLOPER12* QVL_CreateSeries(XLOPER12* index, XLOPER12* series_data, XLOPER12* factors_data) {
    static xll::xloper result;
    return xll::Respond(result, [&](xll::xloper& out) {
        const auto lock = ObjectCache::Instance().CalculationLock();
        std::string key = qvl::addin::NormaliseIndexKey(qvl::addin::CellText(*index));
        qvl::addin::SeriesRow row = qvl::addin::ReadSeriesRow(*series_data, key);
        const qvl::FactorRows factors = qvl::addin::ReadFactorTable(*factors_data, key);
        auto series =
            std::make_shared<qvl::QVLSeries>(std::move(key), std::move(row.name), row.start_date,
                                             row.maturity_date, row.coupon_percent, factors);
        store_and_answer(out, "Series", std::move(series), &ObjectCache::StoreSeries);
    });
}
QVL_EXPORT(CreateSeries);

XLOPER12* QVL_GetSeriesInfo(XLOPER12* series) {
    static xll::xloper result;
    return xll::Respond(result, [&](xll::xloper& out) {
        const auto lock = ObjectCache::Instance().CalculationLock();
        const auto found = qvl::addin::SeriesArgument(*series);
        xll::SetRecordGrid(out, SeriesInfo{*found});
    });
}
QVL_EXPORT(GetSeriesInfo);

XLOPER12* QVL_CreateSwap(XLOPER12* series, XLOPER12* curve, XLOPER12* is_buyer,
                         XLOPER12* credit_event_rate, XLOPER12* notional) {
    static xll::xloper result;
    return xll::Respond(result, [&](xll::xloper& out) {
        const auto lock = ObjectCache::Instance().CalculationLock();
        auto found_series = qvl::addin::SeriesArgument(*series);
        auto found_curve = qvl::addin::CurveArgument(*curve);
        auto swap = std::make_shared<qvl::QVLSwap>(
            std::move(found_series), std::move(found_curve),
            qvl::addin::SwitchArgument(*is_buyer, qvl::default_is_buyer),
            qvl::addin::NumberArgument(*credit_event_rate, qvl::default_event_rate),
            qvl::addin::NumberArgument(*notional, qvl::default_notional));
        store_and_answer(out, "Swap", std::move(swap), &ObjectCache::StoreSwap);
    });
}
QVL_EXPORT(CreateSwap);

XLOPER12* QVL_GetSwapInfo(XLOPER12* swap) {
    static xll::xloper result;
    return xll::Respond(result, [&](xll::xloper& out) {
        const auto lock = ObjectCache::Instance().CalculationLock();
        const auto found = qvl::addin::SwapArgument(*swap);
        xll::SetRecordGrid(out, SwapInfo{*found});
    });
}
QVL_EXPORT(GetSwapInfo);

XLOPER12* QVL_ClearCache() {
    static xll::xloper result;
    return xll::Respond(result, [](xll::xloper& out) {
        const auto lock = ObjectCache::Instance().CalculationLock();
        ObjectCache::Instance().ClearAll();
        xll::SetText(out, "Cache cleared");
    });
}
QVL_EXPORT(ClearCache);
