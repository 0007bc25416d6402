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

// The rules are combined with bitwise operators rather than && and ||: over consecutive days
// the short-circuit branches mispredict, and this test sits inside every rolling loop.
constexpr int in_range(int dd, int first, int last) {
    return static_cast<int>(static_cast<unsigned>(dd - first) <=
                            static_cast<unsigned>(last - first));
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
    const int w = detail::weekday_inline(d);
    if (w >= 5) return false;
    const CivilDate c = detail::civil_from_days_inline(d);
    const int y = c.year;
    const int dd = c.day;
    const int mon = w == 0;
    const int thu = w == 3;
    const int fri = w == 4;
    // Weekends are already excluded, so each rule only names the weekdays it closes.
    int holiday = 0;
    switch (c.month) {
        case 1:
            holiday = (dd == 1) | ((dd == 2) & mon) | ((y >= 1983) & mon & in_range(dd, 15, 21));
            break;
        case 2:
            holiday = (y < 1971) ? (dd == 22) | ((dd == 23) & mon) | ((dd == 21) & fri)
                                 : mon & in_range(dd, 15, 21);
            break;
        case 5:
            holiday = (y < 1971) ? (dd == 30) | ((dd == 31) & mon) | ((dd == 29) & fri)
                                 : mon & in_range(dd, 25, 31);
            break;
        case 6:
            holiday = (y >= 2022) & ((dd == 19) | ((dd == 20) & mon) | ((dd == 18) & fri));
            break;
        case 7:
            holiday = (dd == 4) | ((dd == 5) & mon);
            break;
        case 9:
            holiday = mon & in_range(dd, 1, 7);
            break;
        case 10:
            holiday =
                (y >= 1971) & mon & (in_range(dd, 8, 14) | ((y <= 1977) & in_range(dd, 22, 28)));
            break;
        case 11:
            holiday = (((y <= 1970) | (y >= 1978)) & ((dd == 11) | ((dd == 12) & mon))) |
                      (thu & in_range(dd, 22, 28));
            break;
        case 12:
            holiday = (dd == 25) | ((dd == 26) & mon);
            break;
        default:
            break;
    }
    return holiday == 0;
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
