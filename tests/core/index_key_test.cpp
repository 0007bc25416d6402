// The normal form of series index keys, which the worksheet, the tables, the service and the
// Python package all compare keys in.

#include "core/index_key.hpp"

#include <gtest/gtest.h>

#include <string>

namespace qvl {
namespace {

TEST(IndexKey, NumbersBecomeDigitsAndTextLosesItsBlanks) {
    EXPECT_EQ(NormaliseIndexKey(" 7.0"), "7");
    EXPECT_EQ(NormaliseIndexKey("03.5"), "3.500000");
    EXPECT_EQ(NormaliseIndexKey(" 7 "), "7");  // strtod stops at the trailing blank
    EXPECT_EQ(NormaliseIndexKey("  A 1  "), "A 1");
    EXPECT_EQ(NormaliseIndexKey(" 8.0 "), "8.0");  // not wholly a number: only trimmed
    // A NUL is a character of the text like any other, not its end.
    using namespace std::string_literals;
    EXPECT_EQ(NormaliseIndexKey("1\0x"s), "1\0x"s);
    EXPECT_EQ(NormaliseIndexKey(" 7\0 "s), "7\0"s);
}

}  // namespace
}  // namespace qvl
