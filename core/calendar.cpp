#include "core/calendar.hpp"

#include "core/civil_days.hpp"

namespace qvl {

namespace {

// Day steps wrap at the ends of the Date range instead of overflowing.
Date next_day(Date d) {
    return static_cast<Date>(static_cast<std::uint32_t>(d) + 1u);
}
Date previous_day(Date d) {
    return static_cast<Date>(static_cast<std::uint32_t>(d) - 1u);
}

Date roll_forward(Date d) {
    while (!is_business_day(d)) d = next_day(d);
    return d;
}

// The 8th business day counted from the first day of the month of first_of_month.
Date eighth_business_day(Date first_of_month) {
    Date p = previous_day(first_of_month);
    for (int i = 0; i < 8; ++i) p = roll_forward(next_day(p));
    return p;
}

Date first_of_month(Date d) {
    const CivilDate c = civil_from_days(d);
    return days_from_civil(c.year, c.month, 1);
}

// The New York banking holidays, one rule each. A rule sees only weekdays (weekends are closed
// anyway) and tells whether the day is its holiday or the day the holiday is kept on.
struct Weekday {
    int year;
    int month;
    int day;
    int weekday;  // 0 = Monday ... 4 = Friday
};

constexpr int monday = 0;
constexpr int thursday = 3;
constexpr int friday = 4;

// A holiday on a fixed date: that day, or the Monday after when it falls on a Sunday; with
// friday_before, also the Friday before when it falls on a Saturday.
bool kept_on(const Weekday& d, int day, bool friday_before) {
    return d.day == day || (d.weekday == monday && d.day == day + 1) ||
           (friday_before && d.weekday == friday && d.day == day - 1);
}

// The n-th such weekday of the month.
bool nth_weekday(const Weekday& d, int weekday, int n) {
    return d.weekday == weekday && d.day > 7 * (n - 1) && d.day <= 7 * n;
}

bool new_years_day(const Weekday& d) {
    return d.month == 1 && kept_on(d, 1, false);
}

bool martin_luther_king_day(const Weekday& d) {
    return d.month == 1 && d.year >= 1983 && nth_weekday(d, monday, 3);
}

bool washingtons_birthday(const Weekday& d) {
    if (d.month != 2) return false;
    return d.year < 1971 ? kept_on(d, 22, true) : nth_weekday(d, monday, 3);
}

bool memorial_day(const Weekday& d) {
    if (d.month != 5) return false;
    // From 1971 the last Monday of May, which has 31 days.
    return d.year < 1971 ? kept_on(d, 30, true) : d.weekday == monday && d.day >= 25;
}

bool juneteenth(const Weekday& d) {
    return d.month == 6 && d.year >= 2022 && kept_on(d, 19, true);
}

bool independence_day(const Weekday& d) {
    return d.month == 7 && kept_on(d, 4, false);
}

bool labor_day(const Weekday& d) {
    return d.month == 9 && nth_weekday(d, monday, 1);
}

bool columbus_day(const Weekday& d) {
    return d.month == 10 && d.year >= 1971 && nth_weekday(d, monday, 2);
}

bool veterans_day(const Weekday& d) {
    // From 1971 to 1977 it was kept on the fourth Monday of October.
    if (d.year >= 1971 && d.year <= 1977) return d.month == 10 && nth_weekday(d, monday, 4);
    return d.month == 11 && kept_on(d, 11, false);
}

bool thanksgiving_day(const Weekday& d) {
    return d.month == 11 && nth_weekday(d, thursday, 4);
}

bool christmas_day(const Weekday& d) {
    return d.month == 12 && kept_on(d, 25, false);
}

bool is_holiday(const Weekday& d) {
    return new_years_day(d) || martin_luther_king_day(d) || washingtons_birthday(d) ||
           memorial_day(d) || juneteenth(d) || independence_day(d) || labor_day(d) ||
           columbus_day(d) || veterans_day(d) || thanksgiving_day(d) || christmas_day(d);
}

}  // namespace

bool is_business_day(Date d) {
    const int w = detail::weekday_inline(d);
    if (w > friday) return false;
    const CivilDate c = detail::civil_from_days_inline(d);
    return !is_holiday(Weekday{c.year, c.month, c.day, w});
}

Date advance_business_days(Date d, std::int32_t n) {
    if (n == 0) return roll_forward(d);
    if (n > 0) {
        for (std::int32_t i = 0; i < n; ++i) d = roll_forward(next_day(d));
        return d;
    }
    for (std::int64_t i = 0; i < -static_cast<std::int64_t>(n); ++i) {
        d = previous_day(d);
        while (!is_business_day(d)) d = previous_day(d);
    }
    return d;
}

Date publication_date_in_month(Date d) {
    return eighth_business_day(first_of_month(d));
}

Date next_publication_date(Date d, bool strictly_after) {
    const Date p = publication_date_in_month(d);
    if (p > d || (p == d && !strictly_after)) return p;
    return eighth_business_day(add_months(first_of_month(d), 1));
}

Date previous_publication_date(Date d, bool strictly_before) {
    const Date p = publication_date_in_month(d);
    if (p < d || (p == d && !strictly_before)) return p;
    return eighth_business_day(add_months(first_of_month(d), -1));
}

}  // namespace qvl
