// Results refilled from call to call: a function's result value keeps the grid of its previous
// call and the grid writer rewrites it in place.

#include "xll/worksheet.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "xll/xloper.hpp"

namespace {

using xll::GridWriter;
using xll::xloper;
using Cells = std::vector<std::string>;

// One call of a function whose result is a grid of texts (t:...), numbers (n:...) or, for an
// empty entry, a cell left unwritten.
void call(xloper& result, int rows, int columns, const Cells& cells) {
    xll::Respond(result, [&](xloper& out) {
        GridWriter grid(out, rows, columns);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const int r = static_cast<int>(i) / columns;
            const int c = static_cast<int>(i) % columns;
            if (cells[i].rfind("t:", 0) == 0) grid.text(r, c, cells[i].substr(2));
            if (cells[i].rfind("n:", 0) == 0) grid.number(r, c, std::stod(cells[i].substr(2)));
        }
    });
}

std::string describe(const xloper& cell) {
    if (cell.IsString()) return "t:" + xll::utf8_of(cell);
    if (cell.IsDouble()) return "n:" + xll::utf8_of(cell);
    return cell.IsNil() ? "nil" : "other";
}

Cells cells_of(const xloper& grid) {
    Cells out;
    for (std::size_t i = 0; i < grid.size(); ++i) out.push_back(describe(grid.index(i)));
    return out;
}

// Calls and expects the cells as written, the unwritten ones nil.
void expect_refill(xloper& result, int rows, int columns, Cells cells) {
    call(result, rows, columns, cells);
    for (std::string& cell : cells) cell = cell.empty() ? "nil" : cell;
    EXPECT_EQ(cells_of(result), cells);
}

TEST(GridRefill, FollowsEveryChangeOfTheCells) {
    xloper result;
    const Cells first = {"t:abc", "n:1", "t:", "t:long text", "n:2", "t:x"};
    expect_refill(result, 2, 3, first);
    expect_refill(result, 2, 3, {"t:xyz", "n:1.5", "t:", "t:long text", "n:2", "t:y"});
    // Longer, shorter and emptied texts; a text turning into a number and a number into a
    // text; cells left unwritten end up nil whatever they held.
    expect_refill(result, 2, 3, {"t:abcdef", "t:one", "n:3", "t:short", "", ""});
    for (std::size_t i = 0; i < 4; ++i) {
        const xloper& cell = result.index(i);
        EXPECT_TRUE(!cell.IsString() || cell.val.str[cell.CharCount() + 1] == 0) << i;
    }
    // And back again, then with a gap in the middle.
    expect_refill(result, 2, 3, first);
    expect_refill(result, 2, 3, {"t:abc", "n:1", "", "t:long text", "n:2", "t:x"});
    // Texts that are not ASCII, over ASCII of the same byte length.
    call(result, 2, 3, {"t:h\303\251llo", "t:a\377b", "", "", "", ""});
    EXPECT_EQ(xll::text_of(result.index(std::size_t{0})), u"h\u00E9llo");
    EXPECT_EQ(xll::text_of(result.index(std::size_t{1})), u"a\uFFFDb");
}

TEST(GridRefill, KeepsCellsWrittenInAnyOrder) {
    xloper result;
    call(result, 2, 2, {"t:a", "t:b", "t:c", "t:d"});
    for (const bool skip_one : {false, true}) {
        xll::Respond(result, [&](xloper& out) {
            GridWriter grid(out, 2, 2);
            grid.text(1, 1, "D");
            if (!skip_one) grid.text(1, 0, "C");
            grid.number(0, 1, 2.0);
            grid.text(0, 0, "A");
            grid.text(0, 0, "A");  // twice
        });
        EXPECT_EQ(cells_of(result), Cells({"t:A", "n:2", skip_one ? "nil" : "t:C", "t:D"}));
    }
}

TEST(GridRefill, StartsAfreshForAnotherShapeOrResult) {
    xloper result;
    call(result, 2, 2, {"t:a", "t:b", "t:c", "t:d"});
    expect_refill(result, 1, 4, {"t:w", "t:x", "", "t:z"});
    xll::Respond(result, [](xloper& out) { xll::SetText(out, "single"); });
    EXPECT_EQ(xll::utf8_of(result), "single");
    expect_refill(result, 1, 2, {"t:after", "n:7"});

    // A large grid refilled with one cell, far into it.
    Cells many(40 * 30, "t:cell");
    expect_refill(result, 40, 30, many);
    many.assign(many.size(), "");
    many[17] = "n:1";
    expect_refill(result, 40, 30, many);
}

TEST(GridRefill, AFailureLeavesOnlyTheMessage) {
    xloper result;
    call(result, 2, 2, {"t:a", "t:b", "t:c", "t:d"});
    xll::Respond(result, [](xloper& out) {
        GridWriter grid(out, 2, 2);
        grid.text(0, 0, "half");
        throw std::runtime_error("core failed");
    });
    EXPECT_EQ(xll::utf8_of(result), "core failed");
    // What the body writes to the result itself while a writer is open stands.
    xll::Respond(result, [](xloper& out) {
        GridWriter grid(out, 2, 2);
        grid.text(0, 0, "grid");
        xll::SetText(out, "instead");
        grid.text(1, 1, "more");
    });
    EXPECT_EQ(xll::utf8_of(result), "instead");
}

TEST(GridRefill, WritesRunsOfNumbers) {
    xloper result;
    for (int pass = 0; pass < 2; ++pass) {
        xll::Respond(result, [&](xloper& out) {
            GridWriter grid(out, 2, 4);
            grid.text(0, 0, "row");
            const double first[] = {1.0, NAN, 3.0};
            grid.numbers(0, 1, first);
            const double second[] = {INFINITY, 5.0};
            grid.numbers(1, 2, second);
        });
        EXPECT_EQ(cells_of(result), Cells({"t:row", "n:1", "t:", "n:3", "nil", "nil", "t:", "n:5"}))
            << "pass " << pass;
    }
    xll::Respond(result, [&](xloper& out) {
        const double three[] = {1.0, 2.0, 3.0};
        GridWriter(out, 2, 4).numbers(1, 2, three);  // one past the last column
    });
    EXPECT_EQ(xll::utf8_of(result), "Index out of bounds");
}

}  // namespace
