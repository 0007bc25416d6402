#pragma once

// The worksheet functions. QVL_FUNCTION(Name, params...) declares the implementation of
// "QVL.Name"; QVL_EXPORT(Name), written after its definition, exports it as "?QVL_Name". The
// registration table names the function by the same Name.

#include "excel/export.hpp"
#include "excel/host_api.hpp"

#define QVL_FUNCTION(name, ...) extern "C" XLOPER12* QVL_##name(__VA_ARGS__)
#define QVL_EXPORT(name) XLL_EXPORT_ALIAS(QVL_##name, "?QVL_" #name)

QVL_FUNCTION(RunTests);
QVL_FUNCTION(IsBusinessDay, XLOPER12* date);
QVL_FUNCTION(RollToFollowingBD, XLOPER12* date, XLOPER12* roll_days);
QVL_FUNCTION(NextPublicationDate, XLOPER12* date);
QVL_FUNCTION(PrevPublicationDate, XLOPER12* date);
QVL_FUNCTION(DayCountACT360, XLOPER12* start_date, XLOPER12* end_date);
QVL_FUNCTION(DayCountACT365, XLOPER12* start_date, XLOPER12* end_date);
QVL_FUNCTION(DateFromTenor, XLOPER12* date, XLOPER12* tenor);
QVL_FUNCTION(Version);
QVL_FUNCTION(BuildDate);
