// CSV files as a sheet reads them: fields, typing and rectangles.

#include "host/csv.hpp"

#include <gtest/gtest.h>

namespace {

using standin::csv_grid;
using standin::parse_cell_range;
using standin::parse_csv;
using standin::Value;

Value cell(const char* field, bool quoted = false) {
    return standin::type_field({field, quoted});
}

TEST(Csv, SplitsQuotedFieldsAndLineEnds) {
    const auto rows = parse_csv(
        "\xEF\xBB\xBF"
        "a,\"b,\"\"c\"\"\nd\"\r\n\r\nx,,\n");
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_EQ(rows[0].size(), 2u);
    EXPECT_EQ(rows[0][0].text, "a");
    EXPECT_EQ(rows[0][1].text, "b,\"c\"\nd");
    EXPECT_TRUE(rows[0][1].quoted);
    EXPECT_EQ(rows[1].size(), 1u);  // a blank line is a row of one empty cell
    EXPECT_EQ(rows[2].size(), 3u);
    EXPECT_EQ(parse_csv("last,line").size(), 1u);
    EXPECT_THROW(parse_csv("a,\"open"), std::runtime_error);
}

TEST(Csv, TypesFieldsTheWayASheetDoes) {
    EXPECT_EQ(cell("0.039765"), Value(0.039765));
    EXPECT_EQ(cell(" -1.5e3 "), Value(-1500.0));
    EXPECT_EQ(cell("7."), Value(7.0));
    EXPECT_EQ(cell("true"), Value::boolean(true));
    EXPECT_EQ(cell("FALSE"), Value::boolean(false));
    EXPECT_EQ(cell(""), Value());
    EXPECT_EQ(cell("  "), Value());
    EXPECT_EQ(cell("2025-09-01"), Value("2025-09-01"));
    EXPECT_EQ(cell("1M"), Value("1M"));
    for (const char* not_a_number :
         {"0x10", "inf", "nan", "1e", "+", ".", "1 2", "-1.5e315999986"}) {
        EXPECT_TRUE(cell(not_a_number).is_text()) << not_a_number;
    }
    EXPECT_EQ(cell("200", true), Value("200"));  // quoted fields stay text
    EXPECT_EQ(cell("", true), Value(""));
}

TEST(Csv, WholeFilesArePaddedToTheWidestRow) {
    const Value g = csv_grid(parse_csv("Tenor,ParRate\n1M,0.04,extra\n\n"), std::nullopt);
    ASSERT_EQ(g.rows(), 3);
    ASSERT_EQ(g.columns(), 3);
    EXPECT_EQ(g.at(0, 2), Value());
    EXPECT_EQ(g.at(1, 1), Value(0.04));
    EXPECT_EQ(g.at(2, 0), Value());
    EXPECT_THROW(csv_grid(parse_csv(""), std::nullopt), std::runtime_error);
}

TEST(Csv, RectanglesInSheetNotation) {
    const auto r = parse_cell_range("b3:E9");
    EXPECT_EQ(r.first_row, 2);
    EXPECT_EQ(r.first_column, 1);
    EXPECT_EQ(r.last_row, 8);
    EXPECT_EQ(r.last_column, 4);
    const auto aa = parse_cell_range("AA10:A1");  // corners in either order
    EXPECT_EQ(aa.first_column, 0);
    EXPECT_EQ(aa.last_column, 26);
    EXPECT_EQ(aa.last_row, 9);
    EXPECT_EQ(parse_cell_range("C2").last_column, 2);
    for (const char* bad : {"", "A0", "3A", "A1:", "A1:B", "A-1", "XFE1", "A1048577", "A1:B2:C3"}) {
        EXPECT_THROW(parse_cell_range(bad), std::invalid_argument) << bad;
    }

    const auto rows = parse_csv("title\nh1,h2\n1,2\n");
    const Value g = csv_grid(rows, parse_cell_range("A2:C4"));
    ASSERT_EQ(g.rows(), 3);
    ASSERT_EQ(g.columns(), 3);
    EXPECT_EQ(g.at(0, 1), Value("h2"));
    EXPECT_EQ(g.at(1, 0), Value(1.0));
    EXPECT_EQ(g.at(2, 2), Value());  // beyond the file: empty cells
    EXPECT_THROW(csv_grid(rows, parse_cell_range("A1:XFD1048576")), std::runtime_error);
}

}  // namespace
