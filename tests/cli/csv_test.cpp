// CSV files as a sheet reads them: fields, typing and rectangles.

#include "cli/csv.hpp"

#include <gtest/gtest.h>

namespace {

using standin::csv_grid;
using standin::parse_cell_range;
using standin::parse_csv;
using standin::Value;

TEST(Csv, SplitsQuotedFieldsAndLineEnds) {
    const auto rows = parse_csv(
        "\xEF\xBB\xBF"
        "a,\"b,\"\"c\"\"\nd\"\r\n\r\nx,,\n");
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_EQ(rows[0].size(), 2u);
    EXPECT_EQ(rows[0][1].text, "b,\"c\"\nd");
    EXPECT_TRUE(rows[0][1].quoted);
    EXPECT_EQ(rows[1].size(), 1u);  // a blank line is a row of one empty cell
    EXPECT_EQ(rows[2].size(), 3u);
    EXPECT_EQ(parse_csv("last,line").size(), 1u);
    EXPECT_THROW(parse_csv("a,\"open"), std::runtime_error);
}

TEST(Csv, TypesFieldsTheWayASheetDoes) {
    const std::pair<const char*, Value> typed[] = {
        {"0.039765", 0.039765},
        {" -1.5e3 ", -1500.0},
        {"7.", 7.0},
        {"true", Value::boolean(true)},
        {"FALSE", Value::boolean(false)},
        {"", Value()},
        {"  ", Value()},
        {"2025-09-01", "2025-09-01"},
    };
    for (const auto& [field, value] : typed) {
        EXPECT_EQ(standin::type_field({field, false}), value) << field;
    }
    for (const char* text : {"0x10", "inf", "nan", "1e", "+", ".", "1 2", "-1.5e315999986"}) {
        EXPECT_EQ(standin::type_field({text, false}), Value(text));
    }
    EXPECT_EQ(standin::type_field({"200", true}), Value("200"));  // quoted fields stay text
    EXPECT_EQ(standin::type_field({"", true}), Value(""));
}

TEST(Csv, GridsOfWholeFilesAndRectangles) {
    const Value g = csv_grid(parse_csv("Tenor,ParRate\n1M,0.04,extra\n\n"), std::nullopt);
    ASSERT_EQ(g.rows(), 3);
    ASSERT_EQ(g.columns(), 3);  // padded to the widest row
    EXPECT_EQ(g.at(0, 2), Value());
    EXPECT_EQ(g.at(1, 1), Value(0.04));
    EXPECT_THROW(csv_grid(parse_csv(""), std::nullopt), std::runtime_error);

    const auto r = parse_cell_range("AA10:b3");  // corners in either order, letters in any case
    EXPECT_EQ((std::vector{r.first_row, r.first_column, r.last_row, r.last_column}),
              (std::vector{2, 1, 9, 26}));
    EXPECT_EQ(parse_cell_range("C2").last_column, 2);
    for (const char* bad : {"", "A0", "3A", "A1:", "A1:B", "A-1", "XFE1", "A1048577", "A1:B2:C3"}) {
        EXPECT_THROW(parse_cell_range(bad), std::invalid_argument) << bad;
    }
    const auto rows = parse_csv("title\nh1,h2\n1,2\n");
    const Value part = csv_grid(rows, parse_cell_range("A2:C4"));
    ASSERT_EQ(part.rows(), 3);
    EXPECT_EQ(part.at(0, 1), Value("h2"));
    EXPECT_EQ(part.at(1, 0), Value(1.0));
    EXPECT_EQ(part.at(2, 2), Value());  // beyond the file: empty cells
    EXPECT_THROW(csv_grid(rows, parse_cell_range("A1:XFD1048576")), std::runtime_error);
}

}  // namespace
