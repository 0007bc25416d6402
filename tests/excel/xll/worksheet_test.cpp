// Results refilled from call to call: a function's result value keeps the grid of its previous
// call and the grid writer rewrites it in place.

#include "xll/worksheet.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "xll/xloper.hpp"

namespace {

using xll::GridWriter;
using xll::xloper;

// One call of a function whose result is a grid of texts (t:...), numbers (n:...) or, for an
// empty entry, a cell left unwritten.
void call(xloper& result, int rows, int columns, const std::vector<std::string>& cells) {
    xll::respond(result, [&](xloper& out) {
        GridWriter grid(out, rows, columns);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const int r = static_cast<int>(i) / columns;
            const int c = static_cast<int>(i) % columns;
            if (cells[i].rfind("t:", 0) == 0) {
                grid.text(r, c, cells[i].substr(2));
            } else if (cells[i].rfind("n:", 0) == 0) {
                grid.number(r, c, std::stod(cells[i].substr(2)));
            }
        }
    });
}

std::string describe(const xloper& cell) {
    if (cell.IsString()) return "t:" + xll::utf8_of(cell);
    if (cell.IsDouble()) return "n:" + xll::utf8_of(cell);
    if (cell.is_nil()) return "nil";
    return "other";
}

std::vector<std::string> cells_of(const xloper& grid) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < grid.size(); ++i) out.push_back(describe(grid.index(i)));
    return out;
}

TEST(GridRefill, ReusesTextsOfTheSameLength) {
    xloper result;
    call(result, 2, 2, {"t:Date", "t:2026-01-20", "t:Rate", "n:1.5"});
    const XCHAR* date = result.index(std::size_t{1}).val.str;
    call(result, 2, 2, {"t:Date", "t:2030-12-11", "t:Rate", "n:2.5"});
    EXPECT_EQ(result.index(std::size_t{1}).val.str, date);
    EXPECT_EQ(cells_of(result),
              (std::vector<std::string>{"t:Date", "t:2030-12-11", "t:Rate", "n:2.5"}));
}

TEST(GridRefill, FollowsEveryChangeOfTheCells) {
    xloper result;
    call(result, 2, 3, {"t:abc", "n:1", "t:", "t:long text", "n:2", "t:x"});
    // Longer, shorter and emptied texts; a text turning into a number and a number into a
    // text; cells left unwritten end up nil whatever they held.
    call(result, 2, 3, {"t:abcdef", "t:one", "n:3", "t:short", "", ""});
    EXPECT_EQ(cells_of(result),
              (std::vector<std::string>{"t:abcdef", "t:one", "n:3", "t:short", "nil", "nil"}));
    for (std::size_t i = 0; i < 4; ++i) {
        const xloper& cell = result.index(i);
        if (cell.IsString()) {
            EXPECT_EQ(cell.val.str[cell.CharCount() + 1], 0) << i;
        }
    }
    // And back again.
    call(result, 2, 3, {"t:abc", "n:1", "t:", "t:long text", "n:2", "t:x"});
    EXPECT_EQ(cells_of(result),
              (std::vector<std::string>{"t:abc", "n:1", "t:", "t:long text", "n:2", "t:x"}));

    // A gap in the middle.
    call(result, 2, 3, {"t:abc", "n:1", "", "t:long text", "n:2", "t:x"});
    EXPECT_EQ(cells_of(result),
              (std::vector<std::string>{"t:abc", "n:1", "nil", "t:long text", "n:2", "t:x"}));

    // Texts that are not ASCII, over ASCII of the same byte length.
    call(result, 2, 3,
         {"t:h\xC3\xA9llo",
          "t:a\xFF"
          "b",
          "", "", "", ""});
    EXPECT_EQ(xll::text_of(result.index(std::size_t{0})), u"h\u00E9llo");
    EXPECT_EQ(xll::text_of(result.index(std::size_t{1})), u"a\uFFFDb");
}

TEST(GridRefill, KeepsCellsWrittenInAnyOrder) {
    xloper result;
    call(result, 2, 2, {"t:a", "t:b", "t:c", "t:d"});
    for (const bool skip_one : {false, true}) {
        xll::respond(result, [&](xloper& out) {
            GridWriter grid(out, 2, 2);
            grid.text(1, 1, "D");
            if (!skip_one) grid.text(1, 0, "C");
            grid.number(0, 1, 2.0);
            grid.text(0, 0, "A");
            grid.text(0, 0, "A");  // twice
        });
        EXPECT_EQ(cells_of(result),
                  (std::vector<std::string>{"t:A", "n:2", skip_one ? "nil" : "t:C", "t:D"}));
    }
}

TEST(GridRefill, StartsAfreshForAnotherShapeOrResult) {
    xloper result;
    call(result, 2, 2, {"t:a", "t:b", "t:c", "t:d"});
    call(result, 1, 4, {"t:w", "t:x", "", "t:z"});
    EXPECT_EQ(cells_of(result), (std::vector<std::string>{"t:w", "t:x", "nil", "t:z"}));
    call(result, 3, 2, {"n:1", "n:2", "n:3", "n:4", "n:5", "n:6"});
    EXPECT_EQ(result.rows(), 3);
    EXPECT_EQ(describe(result.index(std::size_t{5})), "n:6");

    xll::respond(result, [](xloper& out) { xll::set_text(out, "single"); });
    EXPECT_EQ(xll::utf8_of(result), "single");
    call(result, 1, 2, {"t:after", "n:7"});
    EXPECT_EQ(cells_of(result), (std::vector<std::string>{"t:after", "n:7"}));

    // A large grid refilled with one cell, far into it.
    std::vector<std::string> many(40 * 30, "t:cell");
    call(result, 40, 30, many);
    many.assign(many.size(), "");
    many[17] = "n:1";
    call(result, 40, 30, many);
    EXPECT_EQ(describe(result.index(17)), "n:1");
    EXPECT_EQ(describe(result.index(1199)), "nil");
    EXPECT_EQ(describe(result.index(0)), "nil");
}

TEST(GridRefill, AFailureLeavesOnlyTheMessage) {
    xloper result;
    call(result, 2, 2, {"t:a", "t:b", "t:c", "t:d"});
    xll::respond(result, [](xloper& out) {
        GridWriter grid(out, 2, 2);
        grid.text(0, 0, "half");
        throw std::runtime_error("core failed");
    });
    EXPECT_EQ(xll::utf8_of(result), "core failed");
    call(result, 2, 2, {"t:a", "t:b", "t:c", "t:d"});
    EXPECT_EQ(cells_of(result), (std::vector<std::string>{"t:a", "t:b", "t:c", "t:d"}));

    // What the body writes to the result itself while a writer is open stands.
    xll::respond(result, [](xloper& out) {
        GridWriter grid(out, 2, 2);
        grid.text(0, 0, "grid");
        xll::set_text(out, "instead");
        grid.text(1, 1, "more");
    });
    EXPECT_EQ(xll::utf8_of(result), "instead");
}

TEST(GridRefill, WritesRunsOfNumbers) {
    xloper result;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (int pass = 0; pass < 2; ++pass) {
        xll::respond(result, [&](xloper& out) {
            GridWriter grid(out, 2, 4);
            grid.text(0, 0, "row");
            const double first[] = {1.0, nan, 3.0};
            grid.numbers(0, 1, first);
            const double second[] = {inf, 5.0};
            grid.numbers(1, 2, second);
        });
        EXPECT_EQ(cells_of(result), (std::vector<std::string>{"t:row", "n:1", "t:", "n:3", "nil",
                                                              "nil", "t:", "n:5"}))
            << "pass " << pass;
    }
    xll::respond(result, [&](xloper& out) {
        GridWriter grid(out, 2, 4);
        const double three[] = {1.0, 2.0, 3.0};
        grid.numbers(1, 2, three);  // one past the last column
    });
    EXPECT_EQ(xll::utf8_of(result), "Index out of bounds");
}

}  // namespace
