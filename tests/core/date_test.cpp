#include "core/date.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/calendar.hpp"
#include "swap_test_support.hpp"

namespace qvl {
namespace {

Date ymd(int y, int m, int d) {
    return days_from_civil(y, m, d);
}

TEST(CivilDates, ReferenceDaysWeekdaysRolloverAndMonths) {
    EXPECT_EQ(ymd(1970, 1, 1), 719468);
    EXPECT_EQ(weekday_of(ymd(2026, 1, 20)), 1);
    EXPECT_EQ(ymd(2026, 2, 30), ymd(2026, 3, 2));
    // Leap years: every fourth, but not centuries unless divisible by 400.
    EXPECT_EQ(ymd(1900, 3, 1) - ymd(1900, 2, 1), 28);
    EXPECT_EQ(ymd(2000, 3, 1) - ymd(2000, 2, 1), 29);
    EXPECT_EQ(add_months(ymd(2024, 1, 31), 1), ymd(2024, 2, 29));
    EXPECT_EQ(add_months(ymd(2026, 1, 15), -13), ymd(2024, 12, 15));
    EXPECT_EQ(month_starts(ymd(2026, 1, 15), ymd(2026, 3, 30), 1),
              std::vector<Date>({ymd(2026, 1, 1), ymd(2026, 2, 1)}));
    expect_what<std::invalid_argument>([] { month_starts(0, 1000, 0); },
                                       "month_starts: step must be at least 1");
    EXPECT_DOUBLE_EQ(year_fraction_act365_25(ymd(2027, 1, 21), ymd(2026, 1, 21)), -365 / 365.25);
}

TEST(CivilDates, InverseOverTheWholeRange) {
    // A day that exists in its month and names d again.
    const auto round_trips = [](std::int64_t d) {
        const CivilDate c = civil_from_days(static_cast<Date>(d));
        return c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= 31 &&
               ymd(c.year, c.month, c.day) == d;
    };
    for (std::int64_t d = -400000; d <= 3000000; d += 97) ASSERT_TRUE(round_trips(d)) << d;
    // Both ends of the short arithmetic path and the extremes of the day count.
    for (std::int64_t base : {-292194000LL, 781547823LL}) {
        for (std::int64_t d = base - 800; d <= base + 800; ++d) ASSERT_TRUE(round_trips(d)) << d;
    }
    EXPECT_TRUE(round_trips(std::numeric_limits<Date>::min()));
    EXPECT_TRUE(round_trips(std::numeric_limits<Date>::max()));
    // The weekday of the last days of the range takes no 32-bit sum.
    EXPECT_EQ(weekday_of(std::numeric_limits<Date>::max()), 3);
    EXPECT_EQ(weekday_of(std::numeric_limits<Date>::min()), 0);
}

TEST(DateText, ParseFormatAndSerials) {
    EXPECT_EQ(parse_date("2026-01-20"), 739941);
    EXPECT_EQ(parse_date("2026/01-21"), ymd(2026, 1, 21));
    EXPECT_EQ(parse_date("0000-03-01"), 0);
    EXPECT_EQ(format_date(ymd(12026, 7, 4)), "12026-07-04");
    EXPECT_EQ(serial_from_date(parse_date("2026-01-20")), 46042.0);
    EXPECT_EQ(date_from_serial(46042.75), ymd(2026, 1, 20));
    EXPECT_EQ(date_from_serial(2958465.99), ymd(9999, 12, 31));
    for (double s : {-0.25, 2958466.0, 1e300, double(NAN), double(INFINITY)}) {
        EXPECT_EQ(date_from_serial(s), invalid_date) << s;
    }
}

TEST(DateText, TextsThatNameNoDayAreRefused) {
    // Read by position they gave another day: a short field, a leading blank, a day or month
    // out of its range.
    for (const char* text : {"2026-02-30", "2025-02-29", "2026-04-31", "2026-13-01", "2026-00-10",
                             "2026-01-00", "2026-1-21", "2026-01-2", " 2026-01-21", "+026-01-21",
                             "2026.01.21", "2026-01- 1", "2026-01-+1", "20261-01-21"}) {
        expect_what<DateTextError>([&] { parse_date(text); },
                                   std::string("Invalid date text: ") + text);
    }
    // Texts without numbers where the fields stand keep the errors of reading by position.
    for (const char* text : {"2026", "2026-01"}) {
        expect_what<std::out_of_range>([&] { parse_date(text); }, "invalid string position");
    }
    for (const char* text : {"", "ab", "20260121", "2026-", "2026-xx-01", "2026-01-+"}) {
        expect_what<std::invalid_argument>([&] { parse_date(text); }, "invalid stoi argument");
    }
}

TEST(Tenors, AddUnitsAndRollToBusinessDay) {
    const Date d = ymd(2026, 1, 21);
    EXPECT_EQ(date_from_tenor(d, "-1M"), ymd(2025, 12, 22));  // 2025-12-21 is a Sunday
    EXPECT_EQ(date_from_tenor(ymd(2026, 1, 22), "2Y"), ymd(2028, 1, 24));
    // Units in either case, a sign and blanks around the tenor.
    EXPECT_EQ(date_from_tenor(d, "3m"), ymd(2026, 4, 21));
    EXPECT_EQ(date_from_tenor(d, "6me"), ymd(2026, 7, 21));
    EXPECT_EQ(date_from_tenor(d, "+2w"), ymd(2026, 2, 4));
    EXPECT_EQ(date_from_tenor(d, "\t1y  "), ymd(2027, 1, 21));
    // Some three million years either way are still days.
    EXPECT_EQ(civil_from_days(date_from_tenor(d, "2900000Y")).year, 2902026);
    EXPECT_EQ(civil_from_days(date_from_tenor(d, "-2900000Y")).year, -2897974);
}

TEST(Tenors, MalformedAndFarTenorsAreRefusedWithoutOverflow) {
    // Too short to hold a count and a unit: characters count, not bytes.
    for (const char* tenor : {"", "Y", "5", "\u00e9", "\U0001F600"}) {
        expect_what<std::invalid_argument>([&] { date_from_tenor(0, tenor); },
                                           "invalid stoi argument");
    }
    // Another unit, a fraction, something between count and unit, no count, no unit.
    for (const char* tenor : {"5D", "1.5Y", "3 M", "3MM", "3MEE", "M3", "1Y1", "35", "ME", "xY",
                              "-W", "--1M", "  ", "1 Y 2"}) {
        expect_what<std::invalid_argument>([&] { date_from_tenor(0, tenor); },
                                           std::string("Invalid tenor: ") + tenor);
    }
    for (const char* tenor : {"3000000000Y", "-2147483649M"}) {
        expect_what<std::out_of_range>([&] { date_from_tenor(0, tenor); },
                                       "stoi argument out of range");
    }
    for (const char* tenor : {"-920455841W", "2147483647Y", "-2147483648ME", "200000000W"}) {
        expect_what<std::out_of_range>([&] { date_from_tenor(ymd(2026, 1, 20), tenor); },
                                       std::string("Tenor out of range: ") + tenor);
    }
}

std::vector<Date> days(std::initializer_list<const char*> texts) {
    std::vector<Date> out;
    for (const char* t : texts) out.push_back(parse_date(t));
    return out;
}

// The weekdays of a year that are not business days.
std::vector<Date> weekday_holidays(int year) {
    std::vector<Date> out;
    for (Date d = ymd(year, 1, 1); d < ymd(year + 1, 1, 1); ++d) {
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
    for (Date open : days({"2021-06-18", "1982-01-18", "1975-11-11", "1970-10-12", "1965-02-15"})) {
        EXPECT_TRUE(is_business_day(open)) << format_date(open);
    }
    for (Date closed : days({"2022-06-20", "1985-01-21", "1975-10-27", "1979-11-12", "1970-02-23",
                             "1970-05-29", "1972-05-29", "1971-10-11"})) {
        EXPECT_FALSE(is_business_day(closed)) << format_date(closed);
    }
}

TEST(NybCalendar, AdvanceBusinessDaysAndPublicationDates) {
    const Date saturday = ymd(2026, 1, 17);
    EXPECT_EQ(advance_business_days(saturday, 0), ymd(2026, 1, 20));
    EXPECT_EQ(advance_business_days(ymd(2026, 1, 20), -1), ymd(2026, 1, 16));
    EXPECT_EQ(advance_business_days(ymd(2026, 12, 24), 1), ymd(2026, 12, 28));
    // The eighth business day of each month; those of 2025 to 2035 are the payment dates of the
    // scenario comparison's cashflow tables.
    const Date pub = ymd(2026, 1, 13);
    EXPECT_EQ(publication_date_in_month(ymd(2026, 1, 28)), pub);
    EXPECT_EQ(next_publication_date(pub), pub);
    EXPECT_EQ(next_publication_date(pub, true), ymd(2026, 2, 11));
    EXPECT_EQ(previous_publication_date(pub, true), ymd(2025, 12, 10));
    EXPECT_EQ(next_publication_date(ymd(2026, 12, 31)), ymd(2027, 1, 13));
}

}  // namespace
}  // namespace qvl
