#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace qvl {

// Days since 0000-03-01 of the proleptic Gregorian calendar (day 0 is a Wednesday).
using Date = std::int32_t;

// Stands for "no date"; only compared for equality by callers.
inline constexpr Date invalid_date = std::numeric_limits<std::int32_t>::min();

struct CivilDate {
    std::int32_t year;
    std::int32_t month;  // 1..12
    std::int32_t day;    // 1..31
};

Date days_from_civil(std::int32_t year, std::int32_t month, std::int32_t day);
CivilDate civil_from_days(Date d);
std::int32_t year_of(Date d);
std::int32_t month_of(Date d);
std::int32_t day_of(Date d);

// 0 = Monday ... 6 = Sunday.
int weekday_of(Date d);
int days_in_month(std::int32_t year, std::int32_t month);

Date add_months(Date d, std::int32_t n);
// First days of the months from start's month on, step months apart, while the month ends on
// or before end. Throws std::invalid_argument for a step below 1.
std::vector<Date> month_starts(Date start, Date end, std::int32_t step);

// Reads "YYYY-MM-DD" by fixed positions. Throws std::out_of_range "invalid string position",
// std::invalid_argument "invalid stoi argument", std::out_of_range "stoi argument out of range".
Date parse_date(std::string_view text);
std::string format_date(Date d);

// Spreadsheet serial (days from 1899-12-30, fraction = time of day) to a date; invalid_date for
// negative, non-finite or out-of-range (after 9999-12-31) serials.
Date date_from_serial(double serial);
double serial_from_date(Date d);

// The tenor ("3M", "1Y", "2W", "6ME") added to d, rolled to the following NYB business day.
Date date_from_tenor(Date d, std::string_view tenor);

double year_fraction_act360(Date start, Date end);
double year_fraction_act365_25(Date start, Date end);

}  // namespace qvl
