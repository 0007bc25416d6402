// QVL.IsBusinessDay, QVL.RollToFollowingBD, QVL.NextPublicationDate, QVL.PrevPublicationDate,
// QVL.DayCountACT360, QVL.DayCountACT365 and QVL.DateFromTenor: cells to dates, one calendar or
// date operation, a number or logical back.

#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "core/calendar.hpp"
#include "core/conventions.hpp"
#include "core/date.hpp"
#include "excel/range_readers.hpp"
#include "excel/worksheet_functions.hpp"
#include "xll/worksheet.hpp"

using qvl::Date;
using qvl::invalid_date;
using qvl::addin::DateFromCell;

namespace {

// A date result as the sheet's serial. The sheet shows serials 1 to 2958465 (9999-12-31); a
// date outside them would show as a number that is no date, or as an error.
double date_result(Date d) {
    const double serial = qvl::serial_from_date(d);
    if (!(serial >= 1.0 && serial <= 2958465.0)) {
        throw std::runtime_error("Result date out of range");
    }
    return serial;
}

Date date_argument(const XLOPER12* cell) {
    const Date d = DateFromCell(*cell);
    if (d == invalid_date) {
        throw std::runtime_error("Invalid date");
    }
    return d;
}

std::int32_t roll_days_argument(const XLOPER12* cell) {
    if (!xll::is_numeric(*cell)) {
        return qvl::addin::default_roll_days;
    }
    const double days = std::trunc(xll::numeric_of(*cell));
    if (!(std::fabs(days) <= qvl::longest_roll)) {
        throw std::runtime_error("Invalid roll_days");
    }
    return static_cast<std::int32_t>(days);
}

template <class Fraction>
XLOPER12* day_count(xll::xloper& result, const XLOPER12* start, const XLOPER12* end,
                    Fraction fraction) {
    return xll::respond(result, [&](xll::xloper& out) {
        const Date from = DateFromCell(*start);
        const Date to = DateFromCell(*end);
        if (from == invalid_date || to == invalid_date) {
            throw std::runtime_error("Invalid date(s)");
        }
        xll::set_number(out, fraction(from, to));
    });
}

}  // namespace

XLOPER12* QVL_IsBusinessDay(XLOPER12* date) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        xll::set_bool(out, qvl::is_business_day(date_argument(date)));
    });
}
QVL_EXPORT(IsBusinessDay);

XLOPER12* QVL_RollToFollowingBD(XLOPER12* date, XLOPER12* roll_days) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const Date d = date_argument(date);
        const std::int32_t n = roll_days_argument(roll_days);
        xll::set_number(out, date_result(qvl::advance_business_days(d, n)));
    });
}
QVL_EXPORT(RollToFollowingBD);

XLOPER12* QVL_NextPublicationDate(XLOPER12* date) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const Date next = qvl::next_publication_date(date_argument(date), true);
        xll::set_number(out, date_result(next));
    });
}
QVL_EXPORT(NextPublicationDate);

XLOPER12* QVL_PrevPublicationDate(XLOPER12* date) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const Date previous = qvl::previous_publication_date(date_argument(date), true);
        xll::set_number(out, date_result(previous));
    });
}
QVL_EXPORT(PrevPublicationDate);

XLOPER12* QVL_DayCountACT360(XLOPER12* start_date, XLOPER12* end_date) {
    static xll::xloper result;
    return day_count(result, start_date, end_date, qvl::year_fraction_act360);
}
QVL_EXPORT(DayCountACT360);

XLOPER12* QVL_DayCountACT365(XLOPER12* start_date, XLOPER12* end_date) {
    static xll::xloper result;
    return day_count(result, start_date, end_date, qvl::year_fraction_act365_25);
}
QVL_EXPORT(DayCountACT365);

XLOPER12* QVL_DateFromTenor(XLOPER12* date, XLOPER12* tenor) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const Date d = date_argument(date);
        const Date rolled = qvl::date_from_tenor(d, qvl::addin::cell_text(*tenor));
        xll::set_number(out, date_result(rolled));
    });
}
QVL_EXPORT(DateFromTenor);
