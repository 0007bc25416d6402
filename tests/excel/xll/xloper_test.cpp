#include "xll/xloper.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "xll/host_call.hpp"

namespace {

using xll::Side;
using xll::xloper;

// The error text of f, which must throw std::runtime_error or one of its kind.
template <class F>
std::string failure_of(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

std::string ensure_text(const std::string& function, const std::string& condition) {
    return "\nfunction: " + function + "\nensure: \"" + condition + "\" failed";
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

xloper grid_of(int rows, int columns) {
    xloper g;
    g.multi_realloc(rows, columns);
    for (int i = 0; i < rows * columns; ++i) {
        g.index(static_cast<std::size_t>(i)) = xloper(static_cast<double>(i));
    }
    return g;
}

TEST(XloperLayout, IsTheHostStructure) {
    static_assert(sizeof(xloper) == 32);
    static_assert(std::is_standard_layout_v<xloper>);
    EXPECT_TRUE(xloper().IsNil());
}

TEST(XloperString, HoldsAtMost32767Characters) {
    const std::u16string longest(32767, u'a');
    xloper s(longest);
    EXPECT_EQ(s.CharCount(), 32767);
    EXPECT_EQ(s.val.str[32768], 0);

    const std::string too_long = failure_of([] { (void)xloper(std::u16string(32768, u'a')); });
    EXPECT_EQ(too_long.rfind("file: excel/xll\nline: ", 0), 0u) << too_long;
    EXPECT_TRUE(ends_with(too_long, ensure_text("xll::xloper::str_alloc", "len <= charmax")))
        << too_long;

    // Appending stays strictly below the longest string.
    xloper t(std::u16string(32765, u'b'));
    const char16_t one = u'c';
    t.str_append(&one, 1);
    EXPECT_EQ(t.CharCount(), 32766);
    EXPECT_TRUE(ends_with(failure_of([&] { t.str_append(&one, 1); }),
                          ensure_text("xll::xloper::str_append", "CharCount() + len < charmax")));
    EXPECT_EQ(t.CharCount(), 32766);
    xloper number(1.0);
    EXPECT_TRUE(ends_with(failure_of([&] { number.str_append(&one, 1); }),
                          ensure_text("xll::xloper::str_append", "IsString()")));
}

TEST(XloperString, ConvertsUtf8) {
    xloper empty("");
    EXPECT_TRUE(empty.IsString());
    EXPECT_EQ(empty.CharCount(), 0);
    EXPECT_TRUE(xloper().str_alloc(static_cast<const char*>(nullptr), 3).IsString());

    xloper accented("h\xC3\xA9llo \xF0\x9F\x99\x82");  // a surrogate pair at the end
    EXPECT_EQ(accented.CharCount(), 8);
    EXPECT_EQ(accented.to_utf8(), "h\xC3\xA9llo \xF0\x9F\x99\x82");
    EXPECT_EQ(xloper("a\xFF"
                     "b")
                  .to_text(),
              u"a\uFFFDb");

    // Past the direct conversion buffer, and past the longest string.
    EXPECT_EQ(xloper(std::string(300, 'z')).CharCount(), 300);
    EXPECT_EQ(xloper(std::string(32767, 'z')).CharCount(), 32767);
    EXPECT_TRUE(ends_with(failure_of([] { (void)xloper(std::string(32768, 'z')); }),
                          ensure_text("xll::xloper::str_alloc", "cch <= charmax")));
}

TEST(XloperString, IsRewrittenInPlaceOnlyWhenItsOwnAndAsLong) {
    xloper s("abcd");
    const XCHAR* buffer = s.val.str;
    s.str_alloc("wxyz", 4);
    EXPECT_EQ(s.val.str, buffer);
    EXPECT_EQ(s.to_utf8(), "wxyz");
    s.str_alloc(s.val.str + 1, 4);  // its own text
    EXPECT_EQ(s.to_utf8(), "wxyz");
    s.str_alloc(u"ab", 2);
    EXPECT_EQ(s.CharCount(), 2);
    EXPECT_EQ(s.val.str[3], 0);

    // Every length around the widening blocks, in place and fresh, with and without a
    // character beyond ASCII at either end.
    for (std::size_t n = 1; n <= 40; ++n) {
        std::string text(n, 'a');
        for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>('!' + (i * 7) % 90);
        xloper fresh(text);
        xloper again(std::string(n, '.'));
        again.str_alloc(text.data(), text.size());
        EXPECT_EQ(fresh.to_utf8(), text) << n;
        EXPECT_EQ(again.to_utf8(), text) << n;
        for (const std::string& wide : {"\xC3\xA9" + text, text + "\xC3\xA9"}) {
            xloper over(std::string(wide.size(), '.'));
            over.str_alloc(wide.data(), wide.size());
            EXPECT_EQ(over.CharCount(), static_cast<int>(n + 1)) << n;
            EXPECT_EQ(over.to_utf8(), wide) << n;
        }
    }

    // A string the host owns goes back to the host, never written over.
    xloper foreign("text");
    XCHAR* own = foreign.val.str;
    foreign.xltype |= xlbitXLFree;
    EXPECT_THROW(foreign.str_alloc("abcd", 4), std::runtime_error);  // no host here
    EXPECT_EQ(std::u16string(own + 1, own[0]), u"text");
    std::free(own);
}

TEST(XloperText, RendersNumbersLikeACell) {
    EXPECT_EQ(xloper(3.0).to_utf8(), "3");
    EXPECT_EQ(xloper(-42.0).to_utf8(), "-42");
    EXPECT_EQ(xloper(2.5).to_utf8(), "2.5");
    EXPECT_EQ(xloper(0.1 + 0.2).to_utf8(), "0.3");
    EXPECT_EQ(xloper(1e15).to_utf8(), "1e+15");
    EXPECT_EQ(xloper(999999999999999.0).to_utf8(), "999999999999999");
    EXPECT_EQ(xloper::boolean(true).to_utf8(), "1");
    EXPECT_EQ(xloper::boolean(false).to_utf8(), "0");
    EXPECT_EQ(xloper::integer(7).to_utf8(), "7");
    EXPECT_EQ(xloper::error(xlerrNA).to_utf8(), "");
    EXPECT_EQ(xloper().to_utf8(), "");
    EXPECT_EQ(xloper::missing().to_utf8(), "");
    EXPECT_EQ(grid_of(1, 1).to_utf8(), "");
}

TEST(XloperIndex, WrapsAroundTheGrid) {
    const xloper g = grid_of(2, 2);
    EXPECT_EQ(g.index(5, 0).AsDouble(), 2.0);   // row 1
    EXPECT_EQ(g.index(-1, 3).AsDouble(), 3.0);  // row 1, column 1
    EXPECT_EQ(g.index(std::size_t{3}).AsDouble(), 3.0);
    EXPECT_EQ(failure_of([&] { g.index(std::size_t{4}); }), "Index out of bounds");

    const xloper scalar(9.0);
    EXPECT_EQ(&scalar.index(0, 7), &scalar);
    EXPECT_TRUE(ends_with(failure_of([&] { scalar.index(std::size_t{1}); }),
                          ensure_text("xll::xloper::index", "i == 0")));
    // A value without rows is an error, not a division by zero.
    EXPECT_NE(failure_of([] { (void)xloper().index(0, 0); }).find("xll::xloper::index"),
              std::string::npos);
    EXPECT_EQ(xloper::missing().rows(), 0);
    EXPECT_EQ(xloper::missing().size(), 0u);
}

TEST(XloperReshape, KeepsLinearPositions) {
    xloper g = grid_of(2, 2);
    g.multi_realloc(1, 4);
    ASSERT_EQ(g.rows(), 1);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(g.index(0, c).AsDouble(), c);
    }
    g.multi_realloc(3, 2);
    EXPECT_EQ(g.index(1, 1).AsDouble(), 3.0);
    EXPECT_TRUE(g.index(2, 0).IsNil());
    EXPECT_TRUE(g.index(2, 1).IsNil());
    g.multi_realloc(1, 1);
    EXPECT_EQ(g.size(), 1u);
    EXPECT_EQ(g.index(0, 0).AsDouble(), 0.0);

    xloper s("first");
    s.multi_realloc(2, 3);
    EXPECT_EQ(s.index(0, 0).to_utf8(), "first");
    EXPECT_TRUE(s.index(1, 2).IsNil());
    s.multi_realloc(0, 3);
    EXPECT_TRUE(s.IsNil());
}

TEST(XloperPushBack, AppendsRowsOrColumns) {
    xloper g;
    g.push_back(xloper());
    EXPECT_TRUE(g.IsNil());
    g.push_back(xloper("a"));
    EXPECT_TRUE(g.IsString());
    g.push_back(xloper("b"), Side::Right);   // 1 x 2
    g.push_back(grid_of(1, 2), Side::Down);  // 2 x 2
    ASSERT_EQ(g.rows(), 2);
    ASSERT_EQ(g.columns(), 2);
    EXPECT_EQ(g.index(0, 1).to_utf8(), "b");
    EXPECT_EQ(g.index(1, 1).AsDouble(), 1.0);

    EXPECT_TRUE(ends_with(failure_of([&] { g.push_back(grid_of(1, 3), Side::Down); }),
                          ensure_text("xll::xloper::push_back", "c == o.columns()")));
    EXPECT_TRUE(ends_with(failure_of([&] { g.push_back(grid_of(3, 1), Side::Right); }),
                          ensure_text("xll::xloper::push_back", "r == o.rows()")));
    EXPECT_TRUE(ends_with(
        failure_of([&] { g.push_back(xloper(1.0), static_cast<Side>(2)); }),
        ensure_text("xll::xloper::push_back", "!\"xloper::push_back: unimplimented Side\"")));
    // A value pushed onto itself is copied before the grid changes.
    g.push_back(g, Side::Down);
    EXPECT_EQ(g.rows(), 4);
    EXPECT_EQ(g.index(2, 1).to_utf8(), "b");
}

TEST(XloperCopy, IsDeep) {
    xloper g;
    g.multi_realloc(1, 2);
    g.index(0, 0) = xloper("left");
    g.index(0, 1) = xloper("right");
    {
        xloper copy(g);
        EXPECT_NE(copy.index(0, 0).val.str, g.index(0, 0).val.str);
        copy.index(0, 0) = xloper("changed");
    }
    EXPECT_EQ(g.index(0, 0).to_utf8(), "left");

    // Assigning an element to its own grid copies before releasing.
    g = g.index(0, 1);
    EXPECT_EQ(g.to_utf8(), "right");

    xloper moved(std::move(g));
    EXPECT_TRUE(g.IsNil());
    EXPECT_EQ(moved.to_utf8(), "right");

    XLOPER12 flow{};
    flow.xltype = xltypeFlow;
    EXPECT_EQ(failure_of([&] { (void)xloper(flow); }), "xloper: unknown xltype");
}

TEST(XloperRead, ChecksTheType) {
    EXPECT_EQ(xloper(2.5).AsDouble(), 2.5);
    EXPECT_EQ(xloper::boolean(true).AsDouble(), 1.0);
    EXPECT_EQ(xloper::integer(-4).AsDouble(), -4.0);
    EXPECT_TRUE(ends_with(failure_of([] { xloper("1").AsDouble(); }),
                          ensure_text("xll::xloper::AsDouble", "IsNumeric()")));
    EXPECT_TRUE(ends_with(failure_of([] { xloper::boolean(true).AsNumber(); }),
                          ensure_text("xll::xloper::AsDouble", "IsDouble()")));
    EXPECT_TRUE(xloper::boolean(true).AsBool());
    EXPECT_TRUE(ends_with(failure_of([] { xloper(1.0).AsBool(); }),
                          ensure_text("xll::xloper::AsBool", "IsBool()")));
}

TEST(XloperTruth, FollowsTheValue) {
    EXPECT_TRUE(static_cast<bool>(xloper(0.5)));
    EXPECT_FALSE(static_cast<bool>(xloper(0.0)));
    EXPECT_TRUE(static_cast<bool>(xloper(std::nan(""))));
    EXPECT_FALSE(static_cast<bool>(xloper("")));
    EXPECT_TRUE(static_cast<bool>(xloper("x")));
    EXPECT_FALSE(static_cast<bool>(xloper::error(xlerrValue)));
    EXPECT_FALSE(static_cast<bool>(xloper::missing()));
    xloper g;
    g.multi_realloc(1, 2);
    EXPECT_FALSE(static_cast<bool>(g));
    g.index(0, 1) = xloper::integer(3);
    EXPECT_TRUE(static_cast<bool>(g));
}

TEST(XlCallV, RefusesToCallWithoutAHost) {
    // This test program exports no callback.
    const std::string text = failure_of([] { xll::call_host(xlfNow); });
    EXPECT_TRUE(ends_with(text, ensure_text("xll::XlCallV", "host_callback != nullptr"))) << text;

    // A value the host would own cannot be given back; releasing it still leaves nil.
    xloper foreign("text");
    XCHAR* own = foreign.val.str;
    foreign.xltype |= xlbitXLFree;
    EXPECT_THROW(foreign.free(), std::runtime_error);
    EXPECT_TRUE(foreign.IsNil());
    std::free(own);
}

}  // namespace
