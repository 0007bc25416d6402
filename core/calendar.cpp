#include "core/calendar.hpp"

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

bool is_monday_between(int w, int dd, int first, int last) {
    return w == 0 && dd >= first && dd <= last;
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

}  // namespace

bool is_business_day(Date d) {
    const int w = weekday_of(d);
    if (w >= 5) return false;
    const CivilDate c = civil_from_days(d);
    const int y = c.year;
    const int dd = c.day;
    // Weekends are already excluded, so each rule only names the weekdays it closes.
    switch (c.month) {
        case 1:
            return !(dd == 1 || (dd == 2 && w == 0) ||
                     (y >= 1983 && is_monday_between(w, dd, 15, 21)));
        case 2:
            if (y < 1971) return !(dd == 22 || (dd == 23 && w == 0) || (dd == 21 && w == 4));
            return !is_monday_between(w, dd, 15, 21);
        case 5:
            if (y < 1971) return !(dd == 30 || (dd == 31 && w == 0) || (dd == 29 && w == 4));
            return !is_monday_between(w, dd, 25, 31);
        case 6:
            return !(y >= 2022 && (dd == 19 || (dd == 20 && w == 0) || (dd == 18 && w == 4)));
        case 7:
            return !(dd == 4 || (dd == 5 && w == 0));
        case 9:
            return !is_monday_between(w, dd, 1, 7);
        case 10:
            return !((y >= 1971 && is_monday_between(w, dd, 8, 14)) ||
                     (y >= 1971 && y <= 1977 && is_monday_between(w, dd, 22, 28)));
        case 11:
            return !(((y <= 1970 || y >= 1978) && (dd == 11 || (dd == 12 && w == 0))) ||
                     (w == 3 && dd >= 22 && dd <= 28));
        case 12:
            return !(dd == 25 || (dd == 26 && w == 0));
        default:
            return true;
    }
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
