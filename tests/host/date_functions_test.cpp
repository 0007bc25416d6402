// The date worksheet functions of qvl.xll, called through the stand-in host.

#include <string>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

using DateFunctions = OpenQvlAddin;

// Date serials of the days used below.
constexpr int jan_12 = 46034;
constexpr int jan_13 = 46035;
constexpr int jan_17 = 46039;
constexpr int jan_19 = 46041;
constexpr int jan_20 = 46042;
constexpr int jan_21 = 46043;

TEST_F(DateFunctions, DateFromTenorAddsAndRolls) {
    EXPECT_EQ(host.call("QVL.DateFromTenor", {"2026-01-21", "1Y"}), Value(46408));
    EXPECT_EQ(host.call("QVL.DateFromTenor", {jan_21, "1Y"}), Value(46408));
    EXPECT_EQ(host.call("QVL.DateFromTenor", {"2026-01-21", "3m"}), Value(46133));  // 2026-04-21
    EXPECT_EQ(host.call("QVL.DateFromTenor", {"2026-01-21", " 1y "}), Value(46408));
    for (const char* tenor : {"5D", "1.5Y", "3 M", "ME"}) {
        EXPECT_EQ(host.call("QVL.DateFromTenor", {"2026-01-21", tenor}),
                  Value(std::string("Invalid tenor: ") + tenor));
    }
    EXPECT_EQ(host.call("QVL.DateFromTenor", {"2026-01-21", ""}), Value("invalid stoi argument"));
    EXPECT_EQ(host.call("QVL.DateFromTenor", {"2026-01-21"}), Value("invalid stoi argument"));
    EXPECT_EQ(host.call("QVL.DateFromTenor", {"2026-01-21", "99999999999Y"}),
              Value("stoi argument out of range"));
    EXPECT_EQ(host.call("QVL.DateFromTenor", {-1, "1Y"}), Value("Invalid date"));
    EXPECT_EQ(host.call("QVL.DateFromTenor", {Value::boolean(true), "1Y"}), Value("Invalid date"));
}

TEST_F(DateFunctions, DayCountsAreSignedFractions) {
    EXPECT_EQ(host.call("QVL.DayCountACT360", {"2026-01-21", "2027-01-21"}),
              Value(1.0138888888888888));
    EXPECT_EQ(host.call("QVL.DayCountACT365", {"2026-01-21", "2027-01-21"}),
              Value(0.999315537303217));
    EXPECT_EQ(host.call("QVL.DayCountACT360", {"2027-01-21", jan_21}), Value(-1.0138888888888888));
    EXPECT_EQ(host.call("QVL.DayCountACT360", {"", "2027-01-21"}), Value("Invalid date(s)"));
    EXPECT_EQ(host.call("QVL.DayCountACT365", {"2026-01-21", Value::boolean(false)}),
              Value("Invalid date(s)"));
    EXPECT_EQ(host.call("QVL.DayCountACT365", {"2026-01-21"}), Value("Invalid date(s)"));
    EXPECT_EQ(host.call("QVL.DayCountACT360", {"abcd-01-01", "2027-01-21"}),
              Value("invalid stoi argument"));
    EXPECT_EQ(host.call("QVL.DayCountACT360", {"2026", "2027-01-21"}),
              Value("invalid string position"));
}

TEST_F(DateFunctions, IsBusinessDayAnswersWithALogical) {
    EXPECT_EQ(host.call("QVL.IsBusinessDay", {"2026-01-19"}), Value::boolean(false));
    EXPECT_EQ(host.call("QVL.IsBusinessDay", {jan_20}), Value::boolean(true));
    EXPECT_EQ(host.call("QVL.IsBusinessDay", {-1}), Value("Invalid date"));
    EXPECT_EQ(host.call("QVL.IsBusinessDay", {Value::boolean(true)}), Value("Invalid date"));
    EXPECT_EQ(host.call("QVL.IsBusinessDay", {""}), Value("Invalid date"));
    EXPECT_EQ(host.call("QVL.IsBusinessDay"), Value("Invalid date"));
    EXPECT_EQ(host.call("QVL.IsBusinessDay", {Value::grid(1, 1, {jan_20})}), Value("Invalid date"));
    EXPECT_EQ(host.call("QVL.IsBusinessDay", {"letters"}), Value("invalid stoi argument"));
}

TEST_F(DateFunctions, PublicationDatesAreStrictlyBeforeOrAfter) {
    EXPECT_EQ(host.call("QVL.NextPublicationDate", {"2026-01-13"}), Value(46064));  // 2026-02-11
    EXPECT_EQ(host.call("QVL.NextPublicationDate", {jan_12}), Value(jan_13));
    EXPECT_EQ(host.call("QVL.PrevPublicationDate", {jan_13}), Value(46001));  // 2025-12-10
    EXPECT_EQ(host.call("QVL.PrevPublicationDate", {"2026-01-21"}), Value(jan_13));
    EXPECT_EQ(host.call("QVL.NextPublicationDate", {"x"}), Value("invalid stoi argument"));
    EXPECT_EQ(host.call("QVL.PrevPublicationDate", {-3}), Value("Invalid date"));
}

TEST_F(DateFunctions, RollToFollowingBDReadsRollDaysLeniently) {
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {"2026-01-17"}), Value(jan_20));
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {jan_17, 0}), Value(jan_20));
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {jan_17, 2}), Value(jan_21));
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {jan_17, 1.9}),
              host.call("QVL.RollToFollowingBD", {jan_17, 1}));
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {jan_17, Value::boolean(true)}),
              host.call("QVL.RollToFollowingBD", {jan_17, 1}));
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {jan_17, "5"}), Value(jan_20));
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {jan_21, -2}), Value(jan_19 - 3));  // Jan 15
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {"", 1}), Value("Invalid date"));
    // Rolls long enough to take seconds are refused.
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {jan_17, 100001}), Value("Invalid roll_days"));
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {jan_17, -1e12}), Value("Invalid roll_days"));
}

TEST_F(DateFunctions, TextsThatNameNoDayGetEachFunctionsMessage) {
    // Read by position these were 2026-03-02, 2026-01-01, 2027-01-01 and a day of the year 202.
    for (const char* text : {"2026-02-30", "2026-1-21", "2026-13-01", " 2026-01-21"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(host.call("QVL.IsBusinessDay", {text}), Value("Invalid date"));
        EXPECT_EQ(host.call("QVL.DateFromTenor", {text, "1Y"}), Value("Invalid date"));
        EXPECT_EQ(host.call("QVL.RollToFollowingBD", {text, 1}), Value("Invalid date"));
        EXPECT_EQ(host.call("QVL.NextPublicationDate", {text}), Value("Invalid date"));
        EXPECT_EQ(host.call("QVL.DayCountACT360", {"2026-01-21", text}), Value("Invalid date(s)"));
    }
    // Whatever follows the day is ignored, as a time of day from another program.
    EXPECT_EQ(host.call("QVL.IsBusinessDay", {"2026-01-21T00:00:00"}), Value::boolean(true));
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {"2026/01/17"}), Value(jan_20));
}

TEST_F(DateFunctions, ResultsBeyondTheSheetsDatesAreMessages) {
    const Value out_of_range("Result date out of range");
    EXPECT_EQ(host.call("QVL.DateFromTenor", {"2026-01-20", "-920455841W"}),
              Value("Tenor out of range: -920455841W"));
    EXPECT_EQ(host.call("QVL.DateFromTenor", {"2026-01-20", "2147483647Y"}),
              Value("Tenor out of range: 2147483647Y"));
    EXPECT_EQ(host.call("QVL.DateFromTenor", {"2026-01-20", "-200000W"}), out_of_range);
    EXPECT_EQ(host.call("QVL.DateFromTenor", {"9999-12-01", "1M"}), out_of_range);
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {"9999-12-31", 100000}), out_of_range);
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {"0000-03-01", -100000}), out_of_range);
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {"1900-01-02", -1}), out_of_range);
    EXPECT_EQ(host.call("QVL.NextPublicationDate", {"9999-12-31"}), out_of_range);
    EXPECT_EQ(host.call("QVL.PrevPublicationDate", {0}), out_of_range);
    // The last day the sheet shows is still a number.
    EXPECT_EQ(host.call("QVL.RollToFollowingBD", {"9999-12-31"}), Value(2958465));
    EXPECT_EQ(host.call("QVL.NextPublicationDate", {"9999-11-30"}), Value(2958444));  // 12-10
}

}  // namespace
