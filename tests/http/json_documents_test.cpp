#include "http/json_documents.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "core/self_check.hpp"
#include "../core/swap_test_support.hpp"

namespace qvl::service {
namespace {

// Every byte below 0x20, the two characters JSON quotes, and text beyond ASCII.
std::string hostile_text() {
    std::string text(1, '\0');
    for (char c = 1; c < 0x20; ++c) text += c;
    return text + "\"\\/\x7F\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD end";
}

// A text as the documents write it, read back from the error document.
std::string escaped(std::string_view text) {
    const std::string document = JsonErrorDocument(text);
    const std::string_view head = R"({"error":")";
    return document.substr(head.size(), document.size() - head.size() - 2);
}

// A number as the documents write it, read back from the payment document.
std::string number_text(double value) {
    const std::string document = PaymentDocument(value, 0, "");
    const std::string_view head = R"({"Cash Settlement Amount":)";
    return document.substr(head.size(), document.find(",\"Payment Date\"") - head.size());
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
    EXPECT_EQ(JsonErrorDocument("say \"no\"\n"), R"j({"error":"say \"no\"\n"})j");
}

TEST(JsonWriters, EveryDocumentParsesWhateverItsTextsHold) {
    using nlohmann::json;
    const std::string text = hostile_text();

    const auto series = qvl::testing::make_named_swap(text, text + "name")->series;
    const json listing = json::parse(SeriesDocument({{text + "handle", series}}));
    EXPECT_EQ(listing.at(text).at("handle"), text + "handle");
    EXPECT_EQ(listing.at(text).at("name"), text + "name");

    const auto swap = qvl::testing::make_named_swap(text, text);
    const json specs = json::parse(SpecsDocument(*swap, *swap->series, 0, 3));
    EXPECT_EQ(specs.at("Index"), text);
    EXPECT_EQ(specs.at("Name"), text);

    ValuationResult valuation;
    valuation.trade_date = valuation.settlement_date = valuation.payment_date = text;
    valuation.ois_date = text;
    valuation.upfront_fee = std::numeric_limits<double>::infinity();
    const json valued = json::parse(ValuationToJson(valuation));
    EXPECT_EQ(valued.at("Trade Date"), text);
    EXPECT_EQ(valued.at("OIS Date"), text);
    EXPECT_TRUE(valued.at("Upfront Fee (%)").is_null());

    PnLResult pnl;
    pnl.trade_init_date = pnl.trade_close_date = pnl.ois_date = text;
    const json traded = json::parse(PnLToJson(pnl));
    EXPECT_EQ(traded.at("Trade Init Date"), text);
    EXPECT_EQ(traded.at("OIS Date"), text);

    EXPECT_EQ(json::parse(PaymentDocument(-1, 0, text)).at("ois_date"), text);
    EXPECT_EQ(json::parse(JsonErrorDocument("Unknown Request: " + text)).at("error"),
              "Unknown Request: " + text);
}

TEST(JsonWriters, NumbersHaveTenSignificantDigitsAndNonFiniteIsNull) {
    const std::pair<double, const char*> cases[] = {
        {100, "100"},
        {0.5, "0.5"},
        {1234567.891, "1234567.891"},
        {0.00001234, "1.234e-05"},
        {12345678901.0, "1.23456789e+10"},
        {-0.0, "-0"},
        {1.0 / 3, "0.3333333333"},
        {2.5e-7, "2.5e-07"},
        {1e10, "1e+10"},
        {-41241.18964555, "-41241.18965"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(number_text(value), text) << value;
    }
}

TEST(JsonDocuments, HealthAndSeriesDocuments) {
    EXPECT_EQ(HealthDocument({3, 2, 12}), R"j({"status":"ok","curves":3,"series":2,"swaps":12})j");
    // Two series under one index text are both written, in the order given.
    const auto a = make_reference_swap()->series;
    const auto b =
        std::make_shared<const QVLSeries>(a->index, "q\"", a->start_date, a->maturity_date, 2.0,
                                          FactorRows{{parse_date("2025-09-01"), 1.0}});
    EXPECT_EQ(SeriesDocument({{"#Series_2", a}, {"#Series_5", b}}),
              R"j({"1":{"handle":"#Series_2","name":"1 (Sep 25)","StartDate":"2025-09-11",)j"
              R"j("MaturityDate":"2030-12-11","Coupon":200},)j"
              R"j("1":{"handle":"#Series_5","name":"q\"","StartDate":"2025-09-11",)j"
              R"j("MaturityDate":"2030-12-11","Coupon":200}})j");
}

}  // namespace
}  // namespace qvl::service
