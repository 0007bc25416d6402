#include "xll/xloper.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "xll/host_call.hpp"

namespace {

using xll::xloper;

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
    EXPECT_EQ(xll::text_of(xloper("a\377b")), u"a\uFFFDb");

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
    EXPECT_TRUE(foreign.IsNil());
    std::free(own);
    // This test program exports no callback.
    expect_ensure([] { xll::call_host(xlfNow); }, "xll::XlCallV", "host_callback != nullptr");
}

TEST(XloperText, RendersValuesLikeACell) {
    EXPECT_EQ(utf8(xloper(-42.0)), "-42");
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
    expect_ensure([] { xloper::boolean(true).AsNumber(); }, "xll::xloper::AsDouble", "IsDouble()");
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
    EXPECT_TRUE(g.index(std::size_t{5}).IsNil());
    xloper s("first");
    s.multi_realloc(2, 3);
    EXPECT_EQ(utf8(s.index(std::size_t{0})), "first");
    s.multi_realloc(0, 3);
    EXPECT_TRUE(s.IsNil());

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
