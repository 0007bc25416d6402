#pragma once

// The worksheet functions. QVL_FUNCTION(Name, params...) declares the implementation of
// "QVL.Name"; QVL_EXPORT(Name), written after its definition, exports it as "?QVL_Name". The
// registration table names the function by the same Name.

#include "core/conventions.hpp"
#include "xll/export.hpp"
#include "xll/host_api.hpp"

namespace qvl::addin {

// Defaults that worksheet functions apply to arguments left out, beside those of the swap terms
// (both in core/conventions.hpp, which the Python package takes them from too) and of the port
// (http/http_service.hpp). The registration table shows each as a default text and in the
// argument's help text.
using qvl::default_roll_days;         // QVL.RollToFollowingBD: roll only
using qvl::default_trade_initiation;  // QVL.TotalPayment: initiation

}  // namespace qvl::addin

#define QVL_FUNCTION(name, ...) extern "C" XLOPER12* QVL_##name(__VA_ARGS__)
#define QVL_EXPORT(name) XLL_EXPORT_ALIAS(QVL_##name, "?QVL_" #name)

QVL_FUNCTION(RunTests);
QVL_FUNCTION(CreateCurve, XLOPER12* yc_date, XLOPER12* curve_data);
QVL_FUNCTION(DiscountFactor, XLOPER12* curve, XLOPER12* target_date);
QVL_FUNCTION(CreateSeries, XLOPER12* index, XLOPER12* series_data, XLOPER12* factors_data);
QVL_FUNCTION(GetSeriesInfo, XLOPER12* series);
QVL_FUNCTION(CreateSwap, XLOPER12* series, XLOPER12* curve, XLOPER12* is_buyer,
             XLOPER12* credit_event_rate, XLOPER12* notional);
QVL_FUNCTION(GetSwapInfo, XLOPER12* swap);
QVL_FUNCTION(CalcFromEventRate, XLOPER12* swap, XLOPER12* trade_date, double event_rate);
QVL_FUNCTION(SolveFromUpfront, XLOPER12* swap, XLOPER12* trade_date, double upfront_fee);
QVL_FUNCTION(SolveFromSpread, XLOPER12* swap, XLOPER12* trade_date, double conventional_spread);
QVL_FUNCTION(TradePnL, XLOPER12* swap, XLOPER12* trade_date_1, double clean_price_1,
             XLOPER12* trade_date_2, double clean_price_2, double event_rate);
QVL_FUNCTION(TotalPayment, XLOPER12* swap, XLOPER12* trade_date, double clean_price,
             XLOPER12* is_trade_initiation, double credit_event_rate);
QVL_FUNCTION(ClearCache);
QVL_FUNCTION(IsBusinessDay, XLOPER12* date);
QVL_FUNCTION(RollToFollowingBD, XLOPER12* date, XLOPER12* roll_days);
QVL_FUNCTION(NextPublicationDate, XLOPER12* date);
QVL_FUNCTION(PrevPublicationDate, XLOPER12* date);
QVL_FUNCTION(DayCountACT360, XLOPER12* start_date, XLOPER12* end_date);
QVL_FUNCTION(DayCountACT365, XLOPER12* start_date, XLOPER12* end_date);
QVL_FUNCTION(DateFromTenor, XLOPER12* date, XLOPER12* tenor);
QVL_FUNCTION(ForwardRate1D, XLOPER12* curve, XLOPER12* target_date);
QVL_FUNCTION(CashflowTable, XLOPER12* swap, XLOPER12* trade_date, XLOPER12* credit_event_rate);
QVL_FUNCTION(Risk, XLOPER12* swap, XLOPER12* trade_date, XLOPER12* credit_event_rate);
QVL_FUNCTION(Version);
QVL_FUNCTION(BuildDate);
