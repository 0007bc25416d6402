#include "core/date.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace qvl {
namespace {

Date ymd(int y, int m, int d) {
    return days_from_civil(y, m, d);
}

template <class E, class F>
void expect_error(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST(CivilDates, ReferenceDaysAndWeekdays) {
    EXPECT_EQ(ymd(0, 3, 1), 0);
    EXPECT_EQ(ymd(1970, 1, 1), 719468);
    EXPECT_EQ(ymd(1899, 12, 30), 693899);
    EXPECT_EQ(ymd(2026, 1, 20), 739941);
    EXPECT_EQ(weekday_of(0), 2);
    EXPECT_EQ(weekday_of(ymd(2026, 1, 20)), 1);
    EXPECT_EQ(weekday_of(-1), 1);
    EXPECT_EQ(weekday_of(ymd(2026, 1, 25)), 6);
}

TEST(CivilDates, OutOfRangeFieldsRollOver) {
    EXPECT_EQ(ymd(2026, 2, 30), ymd(2026, 3, 2));
    EXPECT_EQ(ymd(2026, 3, 0), ymd(2026, 2, 28));
    EXPECT_EQ(ymd(2026, 0, 15), ymd(2025, 12, 15));
    EXPECT_EQ(ymd(2026, 13, 1), ymd(2027, 1, 1));
}

TEST(CivilDates, RoundTripAcrossEraBoundariesAndNegativeDays) {
    for (Date d = -400000; d <= 3000000; d += 97) {
        const CivilDate c = civil_from_days(d);
        ASSERT_EQ(ymd(c.year, c.month, c.day), d) << d;
        ASSERT_GE(c.month, 1);
        ASSERT_LE(c.day, days_in_month(c.year, c.month));
    }
    // Both ends of the short arithmetic path and the extremes of the day count.
    for (std::int64_t base : {-1073741824LL, -292194000LL, 0LL, 781547823LL, 1073741824LL}) {
        for (std::int64_t d = base - 800; d <= base + 800; ++d) {
            const CivilDate c = civil_from_days(static_cast<Date>(d));
            ASSERT_EQ(ymd(c.year, c.month, c.day), d) << d;
        }
    }
    for (Date d : {std::numeric_limits<Date>::min(), std::numeric_limits<Date>::max()}) {
        const CivilDate c = civil_from_days(d);
        EXPECT_EQ(ymd(c.year, c.month, c.day), d);
    }
    const CivilDate c = civil_from_days(ymd(2024, 2, 29));
    EXPECT_EQ(c.year, 2024);
    EXPECT_EQ(c.month, 2);
    EXPECT_EQ(c.day, 29);
    EXPECT_EQ(year_of(-1), 0);
    EXPECT_EQ(month_of(-1), 2);
    EXPECT_EQ(day_of(-1), 29);  // year 0 is a leap year
}

TEST(CivilDates, MonthLengths) {
    EXPECT_EQ(days_in_month(2026, 2), 28);
    EXPECT_EQ(days_in_month(2024, 2), 29);
    EXPECT_EQ(days_in_month(1900, 2), 28);
    EXPECT_EQ(days_in_month(2000, 2), 29);
    EXPECT_EQ(days_in_month(2026, 4), 30);
    EXPECT_EQ(days_in_month(2026, 12), 31);
}

TEST(MonthArithmetic, ClampsToTargetMonthLength) {
    EXPECT_EQ(add_months(ymd(2026, 1, 31), 1), ymd(2026, 2, 28));
    EXPECT_EQ(add_months(ymd(2024, 1, 31), 1), ymd(2024, 2, 29));
    EXPECT_EQ(add_months(ymd(2026, 2, 28), 1), ymd(2026, 3, 28));
    EXPECT_EQ(add_months(ymd(2026, 3, 31), -1), ymd(2026, 2, 28));
    EXPECT_EQ(add_months(ymd(2026, 1, 15), -13), ymd(2024, 12, 15));
    EXPECT_EQ(add_months(ymd(2026, 1, 15), 0), ymd(2026, 1, 15));
    EXPECT_EQ(add_months(ymd(2026, 11, 30), 14), ymd(2028, 1, 30));
}

TEST(MonthArithmetic, MonthStarts) {
    const std::vector<Date> expected = {ymd(2026, 1, 1), ymd(2026, 2, 1), ymd(2026, 3, 1)};
    EXPECT_EQ(month_starts(ymd(2026, 1, 15), ymd(2026, 3, 31), 1), expected);
    EXPECT_EQ(month_starts(ymd(2026, 1, 15), ymd(2026, 3, 30), 1),
              std::vector<Date>(expected.begin(), expected.begin() + 2));
    EXPECT_EQ(month_starts(ymd(2026, 1, 15), ymd(2026, 7, 31), 3),
              (std::vector<Date>{ymd(2026, 1, 1), ymd(2026, 4, 1), ymd(2026, 7, 1)}));
    EXPECT_TRUE(month_starts(ymd(2026, 1, 15), ymd(2026, 1, 30), 1).empty());
    EXPECT_TRUE(month_starts(ymd(2026, 1, 15), ymd(2025, 1, 30), 1).empty());
    expect_error<std::invalid_argument>([] { month_starts(ymd(2026, 1, 1), ymd(2027, 1, 1), 0); },
                                        "month_starts: step must be at least 1");
    expect_error<std::invalid_argument>([] { month_starts(ymd(2026, 1, 1), ymd(2027, 1, 1), -2); },
                                        "month_starts: step must be at least 1");
}

TEST(DateText, ParsesFixedPositions) {
    EXPECT_EQ(parse_date("2026-01-20"), 739941);
    EXPECT_EQ(parse_date("2026/01/21"), ymd(2026, 1, 21));
    EXPECT_EQ(format_date(parse_date("2026-1-21")), "2026-01-01");
    EXPECT_EQ(parse_date("2026-02-30"), parse_date("2026-03-02"));
    EXPECT_EQ(parse_date(" 202-01-05"), ymd(202, 1, 5));
    EXPECT_EQ(parse_date("2026-01-20T10:00"), ymd(2026, 1, 20));
    EXPECT_EQ(parse_date("2026-01-2"), ymd(2026, 1, 2));
}

TEST(DateText, ParseFailures) {
    using std::invalid_argument;
    using std::out_of_range;
    expect_error<out_of_range>([] { parse_date("2026"); }, "invalid string position");
    expect_error<out_of_range>([] { parse_date("2026-01"); }, "invalid string position");
    expect_error<invalid_argument>([] { parse_date("abcd-01-01"); }, "invalid stoi argument");
    expect_error<invalid_argument>([] { parse_date(""); }, "invalid stoi argument");
    expect_error<invalid_argument>([] { parse_date("ab"); }, "invalid stoi argument");
    expect_error<invalid_argument>([] { parse_date("20260121"); }, "invalid stoi argument");
    expect_error<invalid_argument>([] { parse_date("2026-"); }, "invalid stoi argument");
    expect_error<invalid_argument>([] { parse_date("2026-xx-01"); }, "invalid stoi argument");
    expect_error<invalid_argument>([] { parse_date("2026-01-+"); }, "invalid stoi argument");
    // Only the digits of each fixed piece are read, so no piece can exceed 32 bits.
    EXPECT_NO_THROW(parse_date("9999-99-99"));
}

TEST(DateText, FormatsZeroPadded) {
    EXPECT_EQ(format_date(ymd(2026, 1, 5)), "2026-01-05");
    EXPECT_EQ(format_date(ymd(987, 11, 30)), "0987-11-30");
    EXPECT_EQ(format_date(ymd(12026, 7, 4)), "12026-07-04");
}

TEST(Serials, ConvertBothWays) {
    EXPECT_EQ(serial_from_date(parse_date("2026-01-20")), 46042.0);
    EXPECT_EQ(date_from_serial(46042.75), ymd(2026, 1, 20));
    EXPECT_EQ(date_from_serial(46042.0), ymd(2026, 1, 20));
    EXPECT_EQ(date_from_serial(0.0), ymd(1899, 12, 30));
    EXPECT_EQ(date_from_serial(25569.0), ymd(1970, 1, 1));
    EXPECT_EQ(date_from_serial(402133.0), ymd(3000, 12, 31));
    EXPECT_EQ(date_from_serial(2958465.99), ymd(9999, 12, 31));
    EXPECT_EQ(date_from_serial(-1.0), invalid_date);
    EXPECT_EQ(date_from_serial(-0.25), invalid_date);
    EXPECT_EQ(date_from_serial(2958466.0), invalid_date);
    EXPECT_EQ(date_from_serial(1e300), invalid_date);
    EXPECT_EQ(date_from_serial(std::numeric_limits<double>::quiet_NaN()), invalid_date);
    EXPECT_EQ(date_from_serial(std::numeric_limits<double>::infinity()), invalid_date);
    for (double s = 0; s <= 2958465; s += 1013) {
        ASSERT_EQ(serial_from_date(date_from_serial(s + 0.5)), s);
    }
}

TEST(Tenors, AddUnitsAndRollToBusinessDay) {
    const Date d = ymd(2026, 1, 21);
    EXPECT_EQ(date_from_tenor(d, "1Y"), ymd(2027, 1, 21));
    EXPECT_EQ(serial_from_date(date_from_tenor(d, "1Y")), 46408.0);
    EXPECT_EQ(date_from_tenor(d, "3M"), ymd(2026, 4, 21));
    EXPECT_EQ(date_from_tenor(d, " 3M"), ymd(2026, 4, 21));
    EXPECT_EQ(date_from_tenor(d, "2W"), ymd(2026, 2, 4));
    EXPECT_EQ(date_from_tenor(d, "6ME"), ymd(2026, 7, 21));
    EXPECT_EQ(date_from_tenor(d, "5D"), ymd(2031, 1, 21));
    EXPECT_EQ(date_from_tenor(d, "3m"), ymd(2029, 1, 22));
    EXPECT_EQ(date_from_tenor(d, "-1M"), ymd(2025, 12, 22));  // 2025-12-21 is a Sunday
    EXPECT_EQ(date_from_tenor(d, "1.5Y"), ymd(2027, 1, 21));
    EXPECT_EQ(date_from_tenor(d, "0W"), d);
    const Date spot = ymd(2026, 1, 22);
    EXPECT_EQ(date_from_tenor(spot, "1M"), ymd(2026, 2, 23));
    EXPECT_EQ(date_from_tenor(spot, "2Y"), ymd(2028, 1, 24));
    EXPECT_EQ(date_from_tenor(spot, "12M"), date_from_tenor(spot, "1Y"));
}

TEST(Tenors, MalformedTenors) {
    const Date d = ymd(2026, 1, 21);
    for (const char* tenor : {"", "Y", "M", "W", "5", "ME", "xY", "-W", "YME"}) {
        expect_error<std::invalid_argument>([&] { date_from_tenor(d, tenor); },
                                            "invalid stoi argument");
    }
    for (const char* tenor : {"3000000000Y", "-2147483649M", "99999999999999999999W"}) {
        expect_error<std::out_of_range>([&] { date_from_tenor(d, tenor); },
                                        "stoi argument out of range");
    }
    // Within the 32-bit count the multiplied step is not range-checked, but it must not crash.
    EXPECT_NO_THROW(date_from_tenor(d, "2147483647Y"));
    EXPECT_NO_THROW(date_from_tenor(d, "-2147483648W"));
}

TEST(DayCounts, Act360AndAct365_25) {
    const Date a = ymd(2026, 1, 21);
    const Date b = ymd(2027, 1, 21);
    EXPECT_DOUBLE_EQ(year_fraction_act360(a, b), 1.0138888888888888);
    EXPECT_DOUBLE_EQ(year_fraction_act365_25(a, b), 0.999315537303217);
    EXPECT_DOUBLE_EQ(year_fraction_act360(b, a), -1.0138888888888888);
    EXPECT_DOUBLE_EQ(year_fraction_act365_25(b, a), -0.999315537303217);
    EXPECT_EQ(year_fraction_act360(a, a), 0.0);
}

}  // namespace
}  // namespace qvl
