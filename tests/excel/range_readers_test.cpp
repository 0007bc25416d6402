// The cell readers of the worksheet functions.

#include "excel/range_readers.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include "core/date.hpp"
#include "xll/xloper.hpp"

namespace {

using xll::xloper;

TEST(DateFromCell, FollowsTheSpreadsheetRules) {
    using qvl::addin::DateFromCell;
    const qvl::Date day = qvl::parse_date("2026-01-21");
    EXPECT_EQ(DateFromCell(xloper("2026-01-21")), day);
    EXPECT_EQ(DateFromCell(xloper(46043.75)), day);
    EXPECT_EQ(DateFromCell(xloper(0.0)), qvl::parse_date("1899-12-30"));
    EXPECT_EQ(DateFromCell(xloper(-1.0)), qvl::invalid_date);
    EXPECT_EQ(DateFromCell(xloper::boolean(true)), qvl::invalid_date);
    XLOPER12 integer{};
    integer.val.w = 46043;
    integer.xltype = xltypeInt;
    EXPECT_EQ(DateFromCell(integer), qvl::invalid_date);
    EXPECT_EQ(DateFromCell(xloper("")), qvl::invalid_date);
    EXPECT_EQ(DateFromCell(xloper()), qvl::invalid_date);
    XLOPER12 missing{};
    missing.xltype = xltypeMissing;
    EXPECT_EQ(DateFromCell(missing), qvl::invalid_date);
    EXPECT_EQ(DateFromCell(xloper::error(xlerrNA)), qvl::invalid_date);
    xloper g("2026-01-21");
    g.multi_realloc(1, 1);
    EXPECT_EQ(DateFromCell(g), qvl::invalid_date);
    EXPECT_THROW(DateFromCell(xloper("hello")), std::invalid_argument);
    EXPECT_THROW(DateFromCell(xloper("2026")), std::out_of_range);
    // A text that names no day is no date, for the caller to name.
    EXPECT_EQ(DateFromCell(xloper("2026-02-30")), qvl::invalid_date);
    EXPECT_EQ(DateFromCell(xloper(" 2026-01-21")), qvl::invalid_date);
}

}  // namespace
