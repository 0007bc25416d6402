// The date worksheet functions of qvl.xll through the stand-in host: what each kind of cell
// reads as, and the message of every input that names no day.

#include <string>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

using DateFunctions = Workbook;

// Date serials of the days used below.
constexpr int jan_16 = 46038;
constexpr int jan_17 = 46039;
constexpr int jan_20 = 46042;
constexpr int jan_21 = 46043;
const Value yes = Value::boolean(true);

// Each function's message for the usual cells that name no day (empty, -1, TRUE, "2026-02-30",
// "2026-1-20", "abc", serials past the last day) is the scenario comparison's.
TEST_F(DateFunctions, CellsOfEveryKind) {
    expect_calls({
        {"QVL.DateFromTenor", {jan_21, " 3m "}, 46133},  // 2026-04-21
        // Whatever follows the day is ignored, as a time of day from another program.
        {"QVL.IsBusinessDay", {"2026-01-21T00:00:00"}, yes},
        {"QVL.RollToFollowingBD", {"2026/01/17"}, jan_20},
        // roll_days is read leniently: truncated, TRUE is 1, a text is 0.
        {"QVL.RollToFollowingBD", {jan_17, yes}, jan_20},
        {"QVL.RollToFollowingBD", {jan_17, "5"}, jan_20},
        {"QVL.RollToFollowingBD", {jan_21, -2.9}, jan_16},
        // A serial's time of day is dropped; 0 is 1899-12-30.
        {"QVL.DayCountACT360", {46043.75, jan_21}, 0},
        {"QVL.DayCountACT360", {0, 360}, 1},
        {"QVL.IsBusinessDay", {Value::error(xlerrNA)}, "Invalid date"},
        // Read by position these were 2027-01-01 and a day of the year 202.
        {"QVL.IsBusinessDay", {"2026-13-01"}, "Invalid date"},
        {"QVL.NextPublicationDate", {" 2026-01-21"}, "Invalid date"},
        {"QVL.IsBusinessDay", {Value::grid(1, 1, {jan_20})}, "Invalid date"},
        {"QVL.DayCountACT360", {"2026", "2027-01-21"}, "invalid string position"},
    });
}

TEST_F(DateFunctions, TenorsRollsAndResultsOutsideTheirRange) {
    using namespace std::string_literals;
    const char* const out_of_range = "Result date out of range";
    expect_calls({
        // Tenor texts are the core's; a missing one and a NUL are the cell's.
        {"QVL.DateFromTenor", {"2026-01-21"}, "invalid stoi argument"},
        {"QVL.DateFromTenor", {"2026-01-20", "3M\0"s}, "Invalid tenor: 3M\0"s},
        // Rolls long enough to take seconds are refused.
        {"QVL.RollToFollowingBD", {jan_17, 100001}, "Invalid roll_days"},
        {"QVL.RollToFollowingBD", {jan_17, -1e12}, "Invalid roll_days"},
        // Results beyond the sheet's dates.
        {"QVL.DateFromTenor", {"9999-12-01", "1M"}, out_of_range},
        {"QVL.RollToFollowingBD", {"9999-12-31", 100000}, out_of_range},
        {"QVL.RollToFollowingBD", {"1900-01-02", -1}, out_of_range},
        {"QVL.NextPublicationDate", {"9999-12-31"}, out_of_range},
        {"QVL.PrevPublicationDate", {0}, out_of_range},
        // The last day the sheet shows is still a number.
        {"QVL.RollToFollowingBD", {"9999-12-31"}, 2958465},
        {"QVL.NextPublicationDate", {"9999-11-30"}, 2958444},  // 9999-12-10
    });
}

}  // namespace
