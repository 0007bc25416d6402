#include "core/calendar.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace qvl {
namespace {

Date ymd(int y, int m, int d) {
    return days_from_civil(y, m, d);
}

// The weekdays of a year that are not business days.
std::vector<Date> weekday_holidays(int year) {
    std::vector<Date> out;
    for (Date d = ymd(year, 1, 1); d < ymd(year + 1, 1, 1); ++d) {
        if (weekday_of(d) < 5 && !is_business_day(d)) out.push_back(d);
    }
    return out;
}

TEST(NybCalendar, HolidaysOf2026) {
    const std::vector<Date> expected = {ymd(2026, 1, 1),   ymd(2026, 1, 19),  ymd(2026, 2, 16),
                                        ymd(2026, 5, 25),  ymd(2026, 6, 19),  ymd(2026, 9, 7),
                                        ymd(2026, 10, 12), ymd(2026, 11, 11), ymd(2026, 11, 26),
                                        ymd(2026, 12, 25)};
    EXPECT_EQ(weekday_holidays(2026), expected);
    EXPECT_TRUE(is_business_day(ymd(2026, 7, 3)));
    EXPECT_FALSE(is_business_day(ymd(2026, 1, 17)));
    EXPECT_FALSE(is_business_day(ymd(2026, 1, 18)));
}

TEST(NybCalendar, SaturdayHolidaysOf2027StayOnSaturday) {
    const std::vector<Date> expected = {
        ymd(2027, 1, 1), ymd(2027, 1, 18), ymd(2027, 2, 15),  ymd(2027, 5, 31),  ymd(2027, 6, 18),
        ymd(2027, 7, 5), ymd(2027, 9, 6),  ymd(2027, 10, 11), ymd(2027, 11, 11), ymd(2027, 11, 25)};
    EXPECT_EQ(weekday_holidays(2027), expected);
    EXPECT_TRUE(is_business_day(ymd(2027, 12, 24)));
    EXPECT_TRUE(is_business_day(ymd(2027, 12, 31)));
}

TEST(NybCalendar, RulesChangingWithTheYear) {
    EXPECT_TRUE(is_business_day(ymd(2021, 6, 18)));
    EXPECT_FALSE(is_business_day(ymd(2022, 6, 20)));
    EXPECT_TRUE(is_business_day(ymd(1982, 1, 18)));
    EXPECT_FALSE(is_business_day(ymd(1985, 1, 21)));
    EXPECT_FALSE(is_business_day(ymd(1975, 10, 27)));
    EXPECT_TRUE(is_business_day(ymd(1975, 11, 11)));
    EXPECT_FALSE(is_business_day(ymd(1979, 11, 12)));
    EXPECT_FALSE(is_business_day(ymd(1970, 2, 23)));
    EXPECT_FALSE(is_business_day(ymd(1970, 5, 29)));
    EXPECT_FALSE(is_business_day(ymd(1972, 5, 29)));
    EXPECT_TRUE(is_business_day(ymd(1970, 10, 12)));  // Columbus Day starts in 1971
    EXPECT_FALSE(is_business_day(ymd(1971, 10, 11)));
    EXPECT_FALSE(is_business_day(ymd(1965, 2, 22)));
    EXPECT_TRUE(is_business_day(ymd(1965, 2, 15)));
}

TEST(NybCalendar, AdvanceBusinessDays) {
    const Date saturday = ymd(2026, 1, 17);
    EXPECT_EQ(advance_business_days(saturday, 0), ymd(2026, 1, 20));
    EXPECT_EQ(advance_business_days(saturday, 1), ymd(2026, 1, 20));
    EXPECT_EQ(advance_business_days(saturday, 2), ymd(2026, 1, 21));
    EXPECT_EQ(advance_business_days(saturday, -1), ymd(2026, 1, 16));
    const Date tuesday = ymd(2026, 1, 20);
    EXPECT_EQ(advance_business_days(tuesday, 0), tuesday);
    EXPECT_EQ(advance_business_days(tuesday, 2), ymd(2026, 1, 22));
    EXPECT_EQ(advance_business_days(tuesday, -1), ymd(2026, 1, 16));
    EXPECT_EQ(advance_business_days(ymd(2026, 12, 24), 1), ymd(2026, 12, 28));
    EXPECT_EQ(advance_business_days(ymd(2026, 12, 24), 260),
              advance_business_days(advance_business_days(ymd(2026, 12, 24), 130), 130));
}

TEST(PublicationDates, EighthBusinessDayOfEachMonthOf2026) {
    const std::vector<Date> expected = {ymd(2026, 1, 13),  ymd(2026, 2, 11),  ymd(2026, 3, 11),
                                        ymd(2026, 4, 10),  ymd(2026, 5, 12),  ymd(2026, 6, 10),
                                        ymd(2026, 7, 10),  ymd(2026, 8, 12),  ymd(2026, 9, 11),
                                        ymd(2026, 10, 13), ymd(2026, 11, 12), ymd(2026, 12, 10)};
    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(publication_date_in_month(ymd(2026, m, 1)), expected[m - 1]) << m;
        EXPECT_EQ(publication_date_in_month(ymd(2026, m, 28)), expected[m - 1]) << m;
    }
}

TEST(PublicationDates, NextAndPreviousWithFlags) {
    const Date pub = ymd(2026, 1, 13);
    EXPECT_EQ(next_publication_date(pub), pub);
    EXPECT_EQ(next_publication_date(pub, true), ymd(2026, 2, 11));
    EXPECT_EQ(previous_publication_date(pub), pub);
    EXPECT_EQ(previous_publication_date(pub, true), ymd(2025, 12, 10));
    for (bool flag : {false, true}) {
        EXPECT_EQ(next_publication_date(ymd(2026, 1, 21), flag), ymd(2026, 2, 11));
        EXPECT_EQ(previous_publication_date(ymd(2026, 1, 21), flag), pub);
        EXPECT_EQ(next_publication_date(ymd(2026, 1, 2), flag), pub);
        EXPECT_EQ(previous_publication_date(ymd(2026, 1, 2), flag), ymd(2025, 12, 10));
    }
    EXPECT_EQ(next_publication_date(ymd(2026, 12, 31)), next_publication_date(ymd(2027, 1, 1)));
}

}  // namespace
}  // namespace qvl
