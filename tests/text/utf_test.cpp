#include "text/utf.hpp"

#include <gtest/gtest.h>

namespace {

using qvl::text::replace_malformed_utf8;
using qvl::text::utf16_to_utf8;
using qvl::text::utf8_to_utf16;

TEST(Utf8, MalformedSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(replace_malformed_utf8("ok \xC3\xA9 \xF0\x9F\x98\x80"),
              "ok \xC3\xA9 \xF0\x9F\x98\x80");
    // A truncated sequence is one replacement; the byte that broke it starts afresh.
    EXPECT_EQ(replace_malformed_utf8("\342\202A\377"), "\357\277\275A\357\277\275");
    EXPECT_EQ(replace_malformed_utf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong
    EXPECT_EQ(replace_malformed_utf8("\xED\xA0\x80"),                           // surrogate
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(replace_malformed_utf8("end\xF0\x9F"), "end\xEF\xBF\xBD");
    EXPECT_EQ(utf8_to_utf16("/h\xC3\xA9\xF0\x9F\x98\x80\xFF"), u"/h\u00E9\U0001F600\uFFFD");
}

TEST(Utf16, PairsRoundTripAndLoneSurrogatesAreReplaced) {
    const std::u16string text = u"h\u00E9\U0001F600";
    EXPECT_EQ(utf8_to_utf16(utf16_to_utf8(text)), text);
    EXPECT_EQ(utf16_to_utf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(utf16_to_utf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

}  // namespace
