#include "http/json_documents.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "../core/swap_test_support.hpp"
#include "core/risk.hpp"

namespace qvl::service {
namespace {

// A text as the documents write it, read back from the error document.
std::string escaped(std::string_view text) {
    const std::string document = JsonErrorDocument(text);
    return document.substr(10, document.size() - 12);  // between {"error":" and "}
}

TEST(JsonWriters, EscapeWritesControlCharactersAsEscapes) {
    EXPECT_EQ(escaped("a\"b\\c\nd\re\tf"), "a\\\"b\\\\c\\nd\\re\\tf");
    EXPECT_EQ(escaped(std::string("\f\x01\0\x1F\b", 5)), "\\u000c\\u0001\\u0000\\u001f\\u0008");
    // DEL, the slash and well-formed UTF-8 (a genuine U+FFFD among it) pass through as they are.
    EXPECT_EQ(escaped("\x7F/\xC3\xA9\xEF\xBF\xBD"), "\x7F/\xC3\xA9\xEF\xBF\xBD");
    // Each malformed sequence becomes one U+FFFD and the byte that broke it is read again.
    EXPECT_EQ(escaped("\xFF"
                      "a\xE2\x82\"\xC3"),
              "\xEF\xBF\xBD"
              "a\xEF\xBF\xBD\\\"\xEF\xBF\xBD");
}

TEST(JsonWriters, EveryDocumentParsesWhateverItsTextsHold) {
    using nlohmann::json;
    // Every byte below 0x20, the two characters JSON quotes, and text beyond ASCII.
    std::string text(1, '\0');
    for (char c = 1; c < 0x20; ++c) text += c;
    text += "\"\\/\x7F\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD end";
    const auto swap = qvl::testing::make_named_swap(text, text + "name");
    const json listing = json::parse(SeriesDocument({{text + "handle", swap->series}}));
    EXPECT_EQ(listing.at(text).at("handle"), text + "handle");
    EXPECT_EQ(json::parse(SpecsDocument(*swap, *swap->series, 0, 3, 200)).at("Name"),
              text + "name");
    // The result records are written by one writer; a measure that could not be had is null.
    RiskResult risk;
    risk.trade_date = text;
    const json figures = json::parse(risk_to_json(risk));
    EXPECT_EQ(figures.at("Trade Date"), text);
    EXPECT_TRUE(figures.at("Spread 01").is_null());
    EXPECT_EQ(json::parse(PaymentDocument(-1, 0, text)).at("ois_date"), text);
}

// Small numbers in exponent form and figures cut to ten digits fill the scenario comparison's
// documents.
TEST(JsonWriters, NumbersHaveTenSignificantDigitsAndNonFiniteIsNull) {
    const std::pair<double, const char*> cases[] = {
        {12345678901.0, "1.23456789e+10"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"}};
    for (const auto& [value, text] : cases) {
        // Read back from the payment document.
        const std::string document = PaymentDocument(value, 0, "");
        EXPECT_EQ(document.substr(26, document.find(",\"Payment Date\"") - 26), text) << value;
    }
}

}  // namespace
}  // namespace qvl::service
