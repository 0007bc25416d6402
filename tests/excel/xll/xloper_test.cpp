#include "xll/xloper.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "xll/host_call.hpp"

namespace {

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

// A cell's text, as the range readers take it.
std::string utf8(const XLOPER12& x) {
    return xll::utf8_of(x);
}

XLOPER12 plain(std::uint32_t type) {
    XLOPER12 x{};
    x.xltype = type;
    return x;
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
    EXPECT_TRUE(xloper().is_nil());
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
}

TEST(XloperString, ConvertsUtf8) {
    xloper empty("");
    EXPECT_TRUE(empty.IsString());
    EXPECT_EQ(empty.CharCount(), 0);
    EXPECT_TRUE(xloper().str_alloc(static_cast<const char*>(nullptr), 3).IsString());

    xloper accented("h\xC3\xA9llo \xF0\x9F\x99\x82");  // a surrogate pair at the end
    EXPECT_EQ(accented.CharCount(), 8);
    EXPECT_EQ(utf8(accented), "h\xC3\xA9llo \xF0\x9F\x99\x82");
    EXPECT_EQ(xll::text_of(xloper("a\xFF"
                                  "b")),
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
    EXPECT_EQ(utf8(s), "wxyz");
    s.str_alloc(s.val.str + 1, 4);  // its own text
    EXPECT_EQ(utf8(s), "wxyz");
    s.str_alloc(u"ab", 2);
    EXPECT_EQ(s.CharCount(), 2);
    EXPECT_EQ(s.val.str[3], 0);

    // In place and fresh, with and without a character beyond ASCII at either end.
    for (const std::size_t n : {1, 7, 8, 16, 33}) {
        std::string text(n, 'a');
        for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>('!' + (i * 7) % 90);
        xloper fresh(text);
        xloper again(std::string(n, '.'));
        again.str_alloc(text.data(), text.size());
        EXPECT_EQ(utf8(fresh), text) << n;
        EXPECT_EQ(utf8(again), text) << n;
        for (const std::string& wide : {"\xC3\xA9" + text, text + "\xC3\xA9"}) {
            xloper over(std::string(wide.size(), '.'));
            over.str_alloc(wide.data(), wide.size());
            EXPECT_EQ(over.CharCount(), static_cast<int>(n + 1)) << n;
            EXPECT_EQ(utf8(over), wide) << n;
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
    EXPECT_EQ(utf8(xloper(3.0)), "3");
    EXPECT_EQ(utf8(xloper(-42.0)), "-42");
    EXPECT_EQ(utf8(xloper(2.5)), "2.5");
    EXPECT_EQ(utf8(xloper(0.1 + 0.2)), "0.3");
    EXPECT_EQ(utf8(xloper(1e15)), "1e+15");
    EXPECT_EQ(utf8(xloper(999999999999999.0)), "999999999999999");
    EXPECT_EQ(utf8(xloper::boolean(true)), "1");
    EXPECT_EQ(utf8(xloper::boolean(false)), "0");
    XLOPER12 integer = plain(xltypeInt);
    integer.val.w = 7;
    EXPECT_EQ(utf8(integer), "7");
    EXPECT_EQ(utf8(xloper::error(xlerrNA)), "");
    EXPECT_EQ(utf8(xloper()), "");
    EXPECT_EQ(utf8(plain(xltypeMissing)), "");
    EXPECT_EQ(utf8(grid_of(1, 1)), "");
}

TEST(XloperIndex, StaysInsideTheGrid) {
    const xloper g = grid_of(2, 2);
    EXPECT_EQ(g.index(std::size_t{3}).val.num, 3.0);
    EXPECT_EQ(failure_of([&] { g.index(std::size_t{4}); }), "Index out of bounds");

    const xloper scalar(9.0);
    EXPECT_EQ(&scalar.index(std::size_t{0}), &scalar);
    EXPECT_TRUE(ends_with(failure_of([&] { scalar.index(std::size_t{1}); }),
                          ensure_text("xll::xloper::index", "i == 0")));
    EXPECT_EQ(xll::rows_of(plain(xltypeMissing)), 0);
    EXPECT_EQ(xloper().size(), 0u);
}

TEST(XloperReshape, KeepsLinearPositions) {
    xloper g = grid_of(2, 2);
    g.multi_realloc(1, 4);
    ASSERT_EQ(g.rows(), 1);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(g.index(i).val.num, static_cast<double>(i));
    }
    g.multi_realloc(3, 2);
    EXPECT_EQ(g.index(std::size_t{3}).val.num, 3.0);
    EXPECT_TRUE(g.index(std::size_t{4}).is_nil());
    EXPECT_TRUE(g.index(std::size_t{5}).is_nil());
    g.multi_realloc(1, 1);
    EXPECT_EQ(g.size(), 1u);
    EXPECT_EQ(g.index(std::size_t{0}).val.num, 0.0);

    xloper s("first");
    s.multi_realloc(2, 3);
    EXPECT_EQ(utf8(s.index(std::size_t{0})), "first");
    EXPECT_TRUE(s.index(std::size_t{5}).is_nil());
    s.multi_realloc(0, 3);
    EXPECT_TRUE(s.is_nil());
}

TEST(XloperCopy, IsDeep) {
    xloper g;
    g.multi_realloc(1, 2);
    g.index(std::size_t{0}) = xloper("left");
    g.index(std::size_t{1}) = xloper("right");
    {
        xloper copy(g);
        EXPECT_NE(copy.index(std::size_t{0}).val.str, g.index(std::size_t{0}).val.str);
        copy.index(std::size_t{0}) = xloper("changed");
    }
    EXPECT_EQ(utf8(g.index(std::size_t{0})), "left");

    // Assigning an element to its own grid copies before releasing.
    g = g.index(std::size_t{1});
    EXPECT_EQ(utf8(g), "right");

    xloper moved(std::move(g));
    EXPECT_TRUE(g.is_nil());
    EXPECT_EQ(utf8(moved), "right");

    XLOPER12 flow{};
    flow.xltype = xltypeFlow;
    EXPECT_EQ(failure_of([&] { (void)xloper(flow); }), "xloper: unknown xltype");
}

TEST(XloperRead, ChecksTheType) {
    EXPECT_EQ(xll::numeric_of(xloper(2.5)), 2.5);
    EXPECT_EQ(xll::numeric_of(xloper::boolean(true)), 1.0);
    XLOPER12 integer = plain(xltypeInt);
    integer.val.w = -4;
    EXPECT_EQ(xll::numeric_of(integer), -4.0);
    EXPECT_TRUE(ends_with(failure_of([] { xll::numeric_of(xloper("1")); }),
                          ensure_text("xll::xloper::AsDouble", "IsNumeric()")));
    EXPECT_EQ(xloper(2.5).as_number(), 2.5);
    EXPECT_TRUE(ends_with(failure_of([] { xloper::boolean(true).as_number(); }),
                          ensure_text("xll::xloper::AsDouble", "IsDouble()")));
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
    EXPECT_TRUE(foreign.is_nil());
    std::free(own);
}

}  // namespace
