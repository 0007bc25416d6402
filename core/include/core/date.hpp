#pragma once

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_error.hpp"

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

// 0 = Monday ... 6 = Sunday.
int weekday_of(Date d);

Date add_months(Date d, std::int32_t n);
// First days of the months from start's month on, step months apart, while the month ends on
// or before end. Throws std::invalid_argument for a step below 1.
std::vector<Date> month_starts(Date start, Date end, std::int32_t step);

// Raised by parse_date for a text that holds numbers where the fields stand but names no day:
// another layout ("2026-1-21", " 2026-01-21", "2026.01.21") or a day that does not exist
// ("2026-02-30", month 13, day 0). Its message quotes the text whole (text::message_of).
class DateTextError : public text::BasicTextError<std::invalid_argument> {
  public:
    using BasicTextError::BasicTextError;
};

// Reads the first ten characters as four digits, "-" or "/", two digits, "-" or "/", two digits,
// naming a day that exists; the rest of the text is ignored (a time of day, say). A text without
// a number where a field stands fails as reading it by position would:
// std::out_of_range "invalid string position" when it ends before the month or the day,
// std::invalid_argument "invalid stoi argument" when a field holds no digits. Any other text
// fails with DateTextError.
Date parse_date(std::string_view text);
std::string format_date(Date d);

// Spreadsheet serial (days from 1899-12-30, fraction = time of day) to a date; invalid_date for
// negative, non-finite or out-of-range (after 9999-12-31) serials.
Date date_from_serial(double serial);
double serial_from_date(Date d);

// The tenor added to d, rolled to the following NYB business day. A tenor is a signed whole
// count and a unit W, M, ME or Y in either case, with optional blanks around it ("3M", " 1y",
// "-2W", "6ME"). An empty or one-character tenor (characters, not bytes: "é" is one) fails with
// std::invalid_argument "invalid stoi argument", any other malformed one with
// std::invalid_argument "Invalid tenor: " and the whole tenor (text::message_of); a count
// beyond 32 bits with std::out_of_range "stoi argument out of range", and a result some three
// million years away with std::out_of_range "Tenor out of range: " and the tenor.
Date date_from_tenor(Date d, std::string_view tenor);

double year_fraction_act360(Date start, Date end);
double year_fraction_act365_25(Date start, Date end);

}  // namespace qvl
