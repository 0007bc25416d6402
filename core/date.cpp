#include "core/date.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "core/calendar.hpp"
#include "core/civil_days.hpp"
#include "text/utf.hpp"

namespace qvl {

namespace {

// Arithmetic runs in 64 bits: no input can overflow it.
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

constexpr bool is_leap_year(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

constexpr std::int64_t days_from_civil_wide(std::int64_t year, std::int64_t month,
                                            std::int64_t day) {
    const std::int64_t y = month <= 2 ? year - 1 : year;
    const std::int64_t era = floor_div(y, 400);
    const std::int64_t yoe = y - 400 * era;
    const std::int64_t mp = month > 2 ? month - 3 : month + 9;
    const std::int64_t doy = floor_div(153 * mp + 2, 5) + day - 1;
    const std::int64_t doe = 365 * yoe + yoe / 4 - yoe / 100 + doy;
    return 146097 * era + doe;
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The base-10 string-to-int rule: leading white space, optional sign, digits up to the first
// non-digit.
std::int32_t integer_prefix(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_space(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t first_digit = i;
    std::int64_t value = 0;
    bool too_large = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (!too_large) {
            value = value * 10 + (text[i] - '0');
            too_large = value > std::int64_t{1} << 32;
        }
    }
    if (i == first_digit) throw std::invalid_argument("invalid stoi argument");
    if (negative) value = -value;
    if (too_large || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        throw std::out_of_range("stoi argument out of range");
    }
    return static_cast<std::int32_t>(value);
}

constexpr int month_length(std::int64_t year, std::int64_t month) {
    constexpr int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : lengths[month - 1];
}

// Whole eras added so that every 32-bit day count becomes non-negative: the divisions below
// are then unsigned divisions by constants, which compile to multiplications.
constexpr std::int64_t era_shift = 14700;
static_assert(era_shift * 146097 > -static_cast<std::int64_t>(invalid_date));

}  // namespace

CivilDate detail::civil_from_days_general(Date d) {
    const auto z = static_cast<std::uint64_t>(d + era_shift * 146097);
    const std::uint64_t era = z / 146097;
    const std::uint64_t doe = z - 146097 * era;
    const std::uint64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::uint64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::uint64_t mp = (5 * doy + 2) / 153;
    const auto day = static_cast<std::int32_t>(doy - (153 * mp + 2) / 5 + 1);
    const auto month = static_cast<std::int32_t>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t year = static_cast<std::int64_t>(yoe) +
                              400 * (static_cast<std::int64_t>(era) - era_shift) +
                              (month <= 2 ? 1 : 0);
    return {static_cast<std::int32_t>(year), month, day};
}

namespace {

// Month steps in 64 bits: a tenor of many years can ask for more than 2^31 months, and the day
// it lands on may lie beyond the 32-bit range.
std::int64_t add_months_wide(Date d, std::int64_t n) {
    const CivilDate c = detail::civil_from_days_inline(d);
    const std::int64_t t = 12 * static_cast<std::int64_t>(c.year) + (c.month - 1) + n;
    const std::int64_t y2 = floor_div(t, 12);
    const std::int64_t m2 = t - 12 * y2 + 1;
    return days_from_civil_wide(y2, m2, std::min<std::int64_t>(c.day, month_length(y2, m2)));
}

// The days a tenor may reach: some three million years either way, far beyond any date a text
// or a serial names, and far enough inside the 32-bit range that rolling to a business day or
// a publication date afterwards cannot leave it.
constexpr std::int64_t tenor_reach = std::int64_t{1} << 30;

}  // namespace

Date days_from_civil(std::int32_t year, std::int32_t month, std::int32_t day) {
    // Extreme arguments wrap on the conversion (well defined since C++20) instead of overflowing.
    return static_cast<Date>(days_from_civil_wide(year, month, day));
}

CivilDate civil_from_days(Date d) {
    return detail::civil_from_days_inline(d);
}

int weekday_of(Date d) {
    return detail::weekday_inline(d);
}

Date add_months(Date d, std::int32_t n) {
    return static_cast<Date>(add_months_wide(d, n));
}

std::vector<Date> month_starts(Date start, Date end, std::int32_t step) {
    if (step < 1) throw std::invalid_argument("month_starts: step must be at least 1");
    std::vector<Date> starts;
    const CivilDate c = civil_from_days(start);
    Date current = days_from_civil(c.year, c.month, 1);
    for (;;) {
        const CivilDate cc = civil_from_days(current);
        const std::int64_t month_end =
            static_cast<std::int64_t>(current) + month_length(cc.year, cc.month) - 1;
        if (month_end > end) break;
        starts.push_back(current);
        const Date next = add_months(current, step);
        if (next <= current) break;  // wrapped past the end of the Date range
        current = next;
    }
    return starts;
}

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_date_separator(char c) {
    return c == '-' || c == '/';
}

int two_digits(std::string_view text, std::size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

}  // namespace

Date parse_date(std::string_view text) {
    if (text.size() >= 10 && is_digit(text[0]) && is_digit(text[1]) && is_digit(text[2]) &&
        is_digit(text[3]) && is_date_separator(text[4]) && is_digit(text[5]) && is_digit(text[6]) &&
        is_date_separator(text[7]) && is_digit(text[8]) && is_digit(text[9])) {
        const int year = two_digits(text, 0) * 100 + two_digits(text, 2);
        const int month = two_digits(text, 5);
        const int day = two_digits(text, 8);
        if (month >= 1 && month <= 12 && day >= 1 && day <= month_length(year, month)) {
            return static_cast<Date>(days_from_civil_wide(year, month, day));
        }
    }
    // A text without a number where the fields stand keeps the error of reading it by position
    // ("invalid stoi argument", "invalid string position"); every other one names itself.
    integer_prefix(text.substr(0, 4));
    if (text.size() < 5) throw std::out_of_range("invalid string position");
    integer_prefix(text.substr(5, 2));
    if (text.size() < 8) throw std::out_of_range("invalid string position");
    integer_prefix(text.substr(8, 2));
    throw DateTextError("Invalid date text: " + std::string(text));
}

namespace {

void put_two_digits(char* p, std::uint32_t v) {
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
}

}  // namespace

// Written by hand: it runs for every row of a cashflow table. The year is zero-padded to four
// characters, a minus sign included ("-001"), and longer years keep all their digits.
std::string format_date(Date d) {
    const CivilDate c = civil_from_days(d);
    char buffer[24];
    char* p = buffer;
    if (c.year >= 0 && c.year <= 9999) {
        const auto y = static_cast<std::uint32_t>(c.year);
        put_two_digits(p, y / 100);
        put_two_digits(p + 2, y % 100);
        p += 4;
    } else {
        auto y =
            static_cast<std::uint32_t>(c.year < 0 ? -static_cast<std::int64_t>(c.year) : c.year);
        if (c.year < 0) *p++ = '-';
        char digits[12];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + y % 10);
            y /= 10;
        } while (y != 0);
        for (int pad = c.year < 0 ? 3 : 4; n < pad;) digits[n++] = '0';
        while (n > 0) *p++ = digits[--n];
    }
    p[0] = '-';
    put_two_digits(p + 1, static_cast<std::uint32_t>(c.month));
    p[3] = '-';
    put_two_digits(p + 4, static_cast<std::uint32_t>(c.day));
    return std::string(buffer, static_cast<std::size_t>(p + 6 - buffer));
}

Date date_from_serial(double serial) {
    constexpr double last_serial = 2958465.0;  // 9999-12-31
    if (!(serial >= 0.0) || !(serial < last_serial + 1.0)) return invalid_date;
    constexpr Date serial_zero = 693899;  // 1899-12-30
    return serial_zero + static_cast<Date>(std::floor(serial));
}

double serial_from_date(Date d) {
    return static_cast<double>(d) - 693899.0;
}

namespace {

enum class TenorUnit { weeks, months, years };

// The unit after the count, in either case; false for anything else.
bool tenor_unit(std::string_view text, TenorUnit& unit) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (text.size() == 1) {
        switch (upper(text[0])) {
            case 'W':
                unit = TenorUnit::weeks;
                return true;
            case 'M':
                unit = TenorUnit::months;
                return true;
            case 'Y':
                unit = TenorUnit::years;
                return true;
            default:
                return false;
        }
    }
    if (text.size() == 2 && upper(text[0]) == 'M' && upper(text[1]) == 'E') {
        unit = TenorUnit::months;
        return true;
    }
    return false;
}

}  // namespace

Date date_from_tenor(Date d, std::string_view tenor) {
    // Nothing shorter than a count and a unit is read any further; "é" is one character.
    char32_t first_character;
    if (tenor.empty() || text::decode_utf8(tenor, 0, first_character) == tenor.size()) {
        throw std::invalid_argument("invalid stoi argument");
    }
    const auto invalid = [&] {
        return text::BasicTextError<std::invalid_argument>("Invalid tenor: " + std::string(tenor));
    };

    std::size_t first = 0;
    std::size_t last = tenor.size();
    while (first < last && is_space(tenor[first])) ++first;
    while (last > first && is_space(tenor[last - 1])) --last;
    std::size_t i = first;
    const bool negative = i < last && tenor[i] == '-';
    if (i < last && (tenor[i] == '+' || tenor[i] == '-')) ++i;
    const std::size_t first_digit = i;
    std::int64_t count = 0;
    bool too_large = false;
    for (; i < last && is_digit(tenor[i]); ++i) {
        if (!too_large) {
            count = count * 10 + (tenor[i] - '0');
            too_large = count > std::int64_t{1} << 32;
        }
    }
    TenorUnit unit;
    if (i == first_digit || !tenor_unit(tenor.substr(i, last - i), unit)) throw invalid();
    if (negative) count = -count;
    if (too_large || count < std::numeric_limits<std::int32_t>::min() ||
        count > std::numeric_limits<std::int32_t>::max()) {
        throw std::out_of_range("stoi argument out of range");
    }

    std::int64_t r;
    switch (unit) {
        case TenorUnit::weeks:
            r = static_cast<std::int64_t>(d) + 7 * count;
            break;
        case TenorUnit::months:
            r = add_months_wide(d, count);
            break;
        default:
            r = add_months_wide(d, 12 * count);
            break;
    }
    if (r < -tenor_reach || r > tenor_reach) {
        throw std::out_of_range("Tenor out of range: " + std::string(tenor));
    }
    return advance_business_days(static_cast<Date>(r), 0);
}

double year_fraction_act360(Date start, Date end) {
    return static_cast<double>(static_cast<std::int64_t>(end) - start) / 360.0;
}

double year_fraction_act365_25(Date start, Date end) {
    return static_cast<double>(static_cast<std::int64_t>(end) - start) / 365.25;
}

}  // namespace qvl
