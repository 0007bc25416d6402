// QVL.IsBusinessDay, QVL.RollToFollowingBD, QVL.NextPublicationDate, QVL.PrevPublicationDate,
// QVL.DayCountACT360, QVL.DayCountACT365 and QVL.DateFromTenor: cells to dates, one calendar or
// date operation, a number or logical back.

#include <cstdint>
#include <stdexcept>

#include "core/calendar.hpp"
#include "core/date.hpp"
#include "excel/cell_readers.hpp"
#include "excel/worksheet_functions.hpp"
#include "xll/worksheet.hpp"

using qvl::Date;
using qvl::invalid_date;
using qvl::addin::date_argument;
using qvl::addin::DateFromCell;
using qvl::addin::roll_days_argument;

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

QVL_FUNCTION(IsBusinessDay, 180, "Returns TRUE if the date is a NYB business day.",
             (LPXLOPER12 date), {"date", "Date to check."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        xll::set_bool(out, qvl::is_business_day(date_argument(date)));
    });
}

QVL_FUNCTION(RollToFollowingBD, 190,
             "Roll a date to the next NYB business day, optionally advancing by N business days.",
             (LPXLOPER12 date, LPXLOPER12 roll_days), {"date", "Starting date."},
             with_default("roll_days", "Number of business days to advance",
                          number_text(default_roll_days))) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const Date d = date_argument(date);
        const std::int32_t n = roll_days_argument(roll_days);
        xll::set_number(out, date_result(qvl::advance_business_days(d, n)));
    });
}

QVL_FUNCTION(NextPublicationDate, 200,
             "Return the next QVL index publication date after the given date.", (LPXLOPER12 date),
             {"date", "Reference date."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const Date next = qvl::next_publication_date(date_argument(date), true);
        xll::set_number(out, date_result(next));
    });
}

QVL_FUNCTION(PrevPublicationDate, 210,
             "Return the previous QVL index publication date before the given date.",
             (LPXLOPER12 date), {"date", "Reference date."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const Date previous = qvl::previous_publication_date(date_argument(date), true);
        xll::set_number(out, date_result(previous));
    });
}

QVL_FUNCTION(DayCountACT360, 220, "ACT/360 day-count fraction between two dates.",
             (LPXLOPER12 start_date, LPXLOPER12 end_date), {"start_date", "Start date."},
             {"end_date", "End date."}) {
    static xll::xloper result;
    return day_count(result, start_date, end_date, qvl::year_fraction_act360);
}

QVL_FUNCTION(DayCountACT365, 230, "ACT/365.25 day-count fraction between two dates.",
             (LPXLOPER12 start_date, LPXLOPER12 end_date), {"start_date", "Start date."},
             {"end_date", "End date."}) {
    static xll::xloper result;
    return day_count(result, start_date, end_date, qvl::year_fraction_act365_25);
}

QVL_FUNCTION(DateFromTenor, 240,
             "Compute a future date by adding a tenor string and rolling to the next business day.",
             (LPXLOPER12 date, LPXLOPER12 tenor), {"date", "Starting date."},
             {"tenor", "Tenor string (e.g. '3M', '1Y')."}) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        const Date d = date_argument(date);
        const Date rolled = qvl::date_from_tenor(d, qvl::addin::cell_text(*tenor));
        xll::set_number(out, date_result(rolled));
    });
}
