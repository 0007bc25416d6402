// The add-in framework without a host: log lines, version texts, auto macros, what a worksheet
// function returns, and the value class the host reads.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "xll/addin.hpp"
#include "xll/host_call.hpp"
#include "xll/log.hpp"
#include "xll/version.hpp"
#include "xll/worksheet.hpp"
#include "xll/xloper.hpp"

extern "C" int xlAutoOpen();

namespace {

using xll::GridWriter;
using xll::xloper;

TEST(LogLine, HasTheFixedFormatAndLivesNextToTheLibrary) {
    const xll::platform::LocalTime t{2026, 1, 5, 7, 8, 9, 42};
    EXPECT_EQ(xll::format_log_line(t, "xlAutoClose: begin"),
              "2026-01-05 07:08:09.042  xlAutoClose: begin\r\n");
    EXPECT_EQ(xll::format_log_line(t, std::string(5000, 'x')).size(), 2048u);
    EXPECT_EQ(xll::log_path_of(u"/opt/addins/qvl.xll"), u"/opt/addins/qvl.log");
    EXPECT_EQ(xll::log_path_of(u"C:\\AddIns\\qvl.xll"), u"C:\\AddIns\\qvl.log");
    EXPECT_EQ(xll::module_name_of(u"C:\\AddIns\\qvl.xll"), u"qvl");
}

TEST(Version, ReadsTheVersionBlock) {
    EXPECT_EQ(xll::version_text_of(std::array<std::uint32_t, 2>{0x000A0000, 0x0000FFFF}),
              "10.0.0.65535");
    EXPECT_EQ(xll::version_text_of(std::nullopt), "");
    EXPECT_EQ(xll::build_text_of("Built on 18-May-2026 20:41"), "18-May-2026 20:41");
    // The block is the add-in's, not the framework's: a program that hands over none has none.
    EXPECT_EQ(xll::version_text(), "");
    EXPECT_EQ(xll::build_date_text(), "");
}

// Adds an action to a list for the length of one test.
class ScopedAction {
  public:
    ScopedAction(xll::AutoKind kind, xll::AutoAction action) : kind_(kind) {
        xll::auto_actions(kind_).push_back(std::move(action));
    }
    ~ScopedAction() { xll::auto_actions(kind_).pop_back(); }

  private:
    xll::AutoKind kind_;
};

TEST(RunAutoMacros, StopsAtTheFirstFailure) {
    EXPECT_EQ(xll::Addin::RunAutoMacros(xll::AutoKind::Add, "caption"), 1);
    int runs = 0;
    ScopedAction first(xll::AutoKind::Add, [&] { return ++runs, 0; });
    ScopedAction second(xll::AutoKind::Add, [&] { return ++runs, 1; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(xll::Addin::RunAutoMacros(xll::AutoKind::Add, "xll::xlAutoAdd"), 0);
    const std::string box = testing::internal::GetCapturedStderr();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(box.rfind("xll::xlAutoAdd", 0), 0u) << box;
    EXPECT_NE(box.find("function: xll::Addin::RunAutoMacros ensure: \"macro()\" failed"),
              std::string::npos)
        << box;
    ScopedAction throwing(xll::AutoKind::Remove, []() -> int { throw 42; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(xll::Addin::RunAutoMacros(xll::AutoKind::Remove, "c"), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Unknown exception"), std::string::npos);
}

TEST(AutoOpen, SurvivesAMissingHost) {
    // Nothing is registered in this program and there is no host for the load message: the
    // entry point still reports success.
    EXPECT_EQ(xlAutoOpen(), 1);
    ScopedAction failing(xll::AutoKind::OpenBefore, [] { return 0; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(xlAutoOpen(), 0);
    testing::internal::GetCapturedStderr();
}

using Cells = std::vector<std::string>;

// One call of a function whose result is a grid of texts (t:...), numbers (n:...) or, for an
// empty entry, a cell left unwritten.
void call(xloper& result, int rows, int columns, const Cells& cells) {
    xll::respond(result, [&](xloper& out) {
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
    return cell.is_nil() ? "nil" : "other";
}

Cells cells_of(const xloper& grid) {
    Cells out;
    for (std::size_t i = 0; i < grid.size(); ++i) out.push_back(describe(grid.index(i)));
    return out;
}

TEST(Respond, TurnsEveryFailureIntoText) {
    xloper result;
    EXPECT_EQ(xll::respond(result, [](xloper&) { throw std::out_of_range("bad index"); }), &result);
    EXPECT_EQ(xll::utf8_of(result), "bad index");
    xll::respond(result, [](xloper&) { throw 7; });
    EXPECT_EQ(xll::utf8_of(result), "Unknown error");
    xll::respond(result, [](xloper& out) { xll::set_number(out, std::nan("")); });
    EXPECT_TRUE(result.IsString() && result.CharCount() == 0);
    // A message longer than a cell is cut, not lost.
    xll::respond(result, [](xloper&) { throw std::runtime_error(std::string(40000, 'm')); });
    EXPECT_EQ(result.CharCount(), xll::charmax);
}

// Results refilled from call to call: a function's result value keeps the grid of its previous
// call and the grid writer rewrites it in place.

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

TEST(GridRefill, WritesInAnyOrderAndStartsAfreshForAnotherShapeOrResult) {
    xloper result;
    call(result, 2, 2, {"t:a", "t:b", "t:c", "t:d"});
    xll::respond(result, [&](xloper& out) {
        GridWriter grid(out, 2, 2);
        grid.text(1, 1, "D");
        grid.number(0, 1, 2.0);
        grid.text(0, 0, "A");
        grid.text(0, 0, "A");  // twice
    });
    EXPECT_EQ(cells_of(result), Cells({"t:A", "n:2", "nil", "t:D"}));
    expect_refill(result, 1, 4, {"t:w", "t:x", "", "t:z"});
    // A grid that fails half-way leaves only the message.
    xll::respond(result, [](xloper& out) {
        GridWriter grid(out, 1, 4);
        grid.text(0, 0, "half");
        throw std::runtime_error("core failed");
    });
    EXPECT_EQ(xll::utf8_of(result), "core failed");
    expect_refill(result, 1, 2, {"t:after", "n:7"});
    // What the body writes to the result itself while a writer is open stands.
    xll::respond(result, [](xloper& out) {
        GridWriter grid(out, 1, 2);
        xll::set_text(out, "instead");
        grid.text(0, 1, "more");
    });
    EXPECT_EQ(xll::utf8_of(result), "instead");
}

TEST(GridRefill, WritesRunsOfNumbers) {
    xloper result;
    for (int pass = 0; pass < 2; ++pass) {
        xll::respond(result, [&](xloper& out) {
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
    xll::respond(result, [&](xloper& out) {
        const double three[] = {1.0, 2.0, 3.0};
        GridWriter(out, 2, 4).numbers(1, 2, three);  // one past the last column
    });
    EXPECT_EQ(xll::utf8_of(result), "Index out of bounds");
}

// The value is handed to the host as its own structure.
static_assert(sizeof(xloper) == sizeof(XLOPER12) && std::is_standard_layout_v<xloper>);

template <class F>
std::string failure_of(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

// Expects the message of a failed ensure: where, then the function and the condition.
template <class F>
void expect_ensure(F&& f, const std::string& function, const std::string& condition) {
    const std::string text = failure_of(f);
    EXPECT_EQ(text.rfind("file: excel/xll\nline: ", 0), 0u) << text;
    const std::string tail = "\nfunction: " + function + "\nensure: \"" + condition + "\" failed";
    EXPECT_TRUE(text.size() > tail.size() && text.substr(text.size() - tail.size()) == tail)
        << text;
}

std::string utf8(const XLOPER12& x) {
    return xll::utf8_of(x);
}

XLOPER12 plain(std::uint32_t type, int w = 0) {
    XLOPER12 x{};
    x.xltype = type;
    x.val.w = w;
    return x;
}

TEST(XloperString, HoldsAtMost32767CharactersConvertedFromUtf8) {
    xloper longest(std::u16string(32767, u'a'));
    EXPECT_EQ(longest.val.str[32768], 0);
    expect_ensure([] { (void)xloper(std::u16string(32768, u'a')); }, "xll::xloper::str_alloc",
                  "len <= charmax");
    // Past the direct conversion buffer, and past the longest string.
    EXPECT_EQ(xloper(std::string(300, 'z')).CharCount(), 300);
    EXPECT_EQ(xloper(std::string(32767, 'z')).CharCount(), 32767);
    expect_ensure([] { (void)xloper(std::string(32768, 'z')); }, "xll::xloper::str_alloc",
                  "cch <= charmax");
    EXPECT_TRUE(xloper().str_alloc(static_cast<const char*>(nullptr), 3).IsString());
    xloper accented("h\xC3\xA9llo \xF0\x9F\x99\x82");  // a surrogate pair at the end
    EXPECT_EQ(accented.CharCount(), 8);
    EXPECT_EQ(utf8(accented), "h\xC3\xA9llo \xF0\x9F\x99\x82");
    // Rewritten from its own text, over texts of the same length, with and without a
    // character beyond ASCII.
    xloper s("abcd");
    s.str_alloc(s.val.str + 1, 4);
    EXPECT_EQ(utf8(s), "abcd");
    for (const std::size_t n : {1, 7, 8, 16, 33}) {
        std::string text(n, 'a');
        for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>('!' + (i * 7) % 90);
        for (const std::string& written : {text, "\xC3\xA9" + text, text + "\xC3\xA9"}) {
            xloper over(std::string(written.size(), '.'));
            over.str_alloc(written.data(), written.size());
            EXPECT_EQ(utf8(over), written) << n;
        }
    }
}

TEST(XloperString, WhatTheHostOwnsGoesBackToTheHost) {
    // Never written over; with no host here the release fails and still leaves nil.
    xloper foreign("text");
    XCHAR* own = foreign.val.str;
    foreign.xltype |= xlbitXLFree;
    EXPECT_THROW(foreign.str_alloc("abcd", 4), std::runtime_error);
    EXPECT_EQ(std::u16string(own + 1, own[0]), u"text");
    EXPECT_TRUE(foreign.is_nil());
    std::free(own);
    // This test program exports no callback.
    expect_ensure([] { xll::call_host(xlfNow); }, "xll::XlCallV", "host_callback != nullptr");
}

TEST(XloperText, RendersValuesLikeACell) {
    EXPECT_EQ(utf8(xloper(0.1 + 0.2)), "0.3");
    EXPECT_EQ(utf8(xloper(1e15)), "1e+15");
    EXPECT_EQ(utf8(xloper(999999999999999.0)), "999999999999999");
    EXPECT_EQ(utf8(xloper::boolean(true)), "1");
    EXPECT_EQ(utf8(plain(xltypeInt, 7)), "7");
    EXPECT_EQ(utf8(xloper::error(xlerrNA)), "");
    EXPECT_EQ(utf8(plain(xltypeMissing)), "");
    EXPECT_EQ(utf8(xloper()), "");
    EXPECT_EQ(xll::rows_of(plain(xltypeMissing)), 0);
    EXPECT_EQ(xll::numeric_of(xloper(2.5)) + xll::numeric_of(xloper::boolean(true)), 3.5);
    EXPECT_EQ(xll::numeric_of(plain(xltypeInt, -4)), -4.0);
    expect_ensure([] { xll::numeric_of(xloper("1")); }, "xll::xloper::AsDouble", "IsNumeric()");
    expect_ensure([] { xloper::boolean(true).as_number(); }, "xll::xloper::AsDouble", "IsDouble()");
}

TEST(XloperGrid, IndexReshapeAndCopy) {
    xloper g;
    g.multi_realloc(2, 2);
    for (std::size_t i = 0; i < 4; ++i) g.index(i) = xloper(static_cast<double>(i));
    EXPECT_EQ(utf8(g), "");
    EXPECT_EQ(failure_of([&] { g.index(std::size_t{4}); }), "Index out of bounds");
    expect_ensure([] { xloper(9.0).index(std::size_t{1}); }, "xll::xloper::index", "i == 0");
    // Reshaping keeps linear positions and fills new cells with nil.
    g.multi_realloc(3, 2);
    EXPECT_EQ(g.index(std::size_t{3}).val.num, 3.0);
    EXPECT_TRUE(g.index(std::size_t{5}).is_nil());
    xloper s("first");
    s.multi_realloc(2, 3);
    EXPECT_EQ(utf8(s.index(std::size_t{0})), "first");
    // Copies are deep; assigning an element to its own grid copies before releasing.
    g.index(std::size_t{0}) = xloper("left");
    g.index(std::size_t{1}) = xloper("right");
    xloper(g).index(std::size_t{0}) = xloper("changed");
    EXPECT_EQ(utf8(g.index(std::size_t{0})), "left");
    g = g.index(std::size_t{1});
    EXPECT_EQ(utf8(g), "right");
    EXPECT_EQ(failure_of([] { (void)xloper(plain(xltypeFlow)); }), "xloper: unknown xltype");
}

}  // namespace
