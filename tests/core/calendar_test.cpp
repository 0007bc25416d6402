#include "core/calendar.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace qvl {
namespace {

Date day(const char* text) {
    return parse_date(text);
}

std::vector<Date> days(std::initializer_list<const char*> texts) {
    std::vector<Date> out;
    for (const char* t : texts) out.push_back(day(t));
    return out;
}

// The weekdays of a year that are not business days.
std::vector<Date> weekday_holidays(int year) {
    std::vector<Date> out;
    for (Date d = days_from_civil(year, 1, 1); d < days_from_civil(year + 1, 1, 1); ++d) {
        if (weekday_of(d) < 5 && !is_business_day(d)) out.push_back(d);
    }
    return out;
}

TEST(NybCalendar, HolidaysAndRulesChangingWithTheYear) {
    EXPECT_EQ(weekday_holidays(2026),
              days({"2026-01-01", "2026-01-19", "2026-02-16", "2026-05-25", "2026-06-19",
                    "2026-09-07", "2026-10-12", "2026-11-11", "2026-11-26", "2026-12-25"}));
    // Saturday holidays stay on Saturday, except Juneteenth.
    EXPECT_EQ(weekday_holidays(2027),
              days({"2027-01-01", "2027-01-18", "2027-02-15", "2027-05-31", "2027-06-18",
                    "2027-07-05", "2027-09-06", "2027-10-11", "2027-11-11", "2027-11-25"}));
    for (const char* open :
         {"2021-06-18", "1982-01-18", "1975-11-11", "1970-10-12", "1965-02-15"}) {
        EXPECT_TRUE(is_business_day(day(open))) << open;
    }
    for (const char* closed : {"2022-06-20", "1985-01-21", "1975-10-27", "1979-11-12", "1970-02-23",
                               "1970-05-29", "1972-05-29", "1971-10-11"}) {
        EXPECT_FALSE(is_business_day(day(closed))) << closed;
    }
}

TEST(NybCalendar, AdvanceBusinessDays) {
    const Date saturday = day("2026-01-17");
    EXPECT_EQ(advance_business_days(saturday, 0), day("2026-01-20"));
    EXPECT_EQ(advance_business_days(saturday, 1), day("2026-01-20"));
    EXPECT_EQ(advance_business_days(saturday, 2), day("2026-01-21"));
    EXPECT_EQ(advance_business_days(saturday, -1), day("2026-01-16"));
    EXPECT_EQ(advance_business_days(day("2026-01-20"), 0), day("2026-01-20"));
    EXPECT_EQ(advance_business_days(day("2026-01-20"), -1), day("2026-01-16"));
    EXPECT_EQ(advance_business_days(day("2026-12-24"), 1), day("2026-12-28"));
}

TEST(PublicationDates, EighthBusinessDayOfEachMonth) {
    const std::vector<Date> expected =
        days({"2026-01-13", "2026-02-11", "2026-03-11", "2026-04-10", "2026-05-12", "2026-06-10",
              "2026-07-10", "2026-08-12", "2026-09-11", "2026-10-13", "2026-11-12", "2026-12-10"});
    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(publication_date_in_month(days_from_civil(2026, m, 28)), expected[m - 1]);
    }
    const Date pub = day("2026-01-13");
    EXPECT_EQ(next_publication_date(pub), pub);
    EXPECT_EQ(next_publication_date(pub, true), day("2026-02-11"));
    EXPECT_EQ(previous_publication_date(pub), pub);
    EXPECT_EQ(previous_publication_date(pub, true), day("2025-12-10"));
    for (bool flag : {false, true}) {
        EXPECT_EQ(next_publication_date(day("2026-01-21"), flag), day("2026-02-11"));
        EXPECT_EQ(previous_publication_date(day("2026-01-21"), flag), pub);
        EXPECT_EQ(next_publication_date(day("2026-12-31"), flag), day("2027-01-13"));
    }
}

}  // namespace
}  // namespace qvl
