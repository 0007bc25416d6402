#include "http/json_documents.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/self_check.hpp"
#include "http/utf8.hpp"

namespace qvl::service {
namespace {

TEST(JsonWriters, EscapeReplacesExactlyFiveCharacters) {
    EXPECT_EQ(JsonEscape("a\"b\\c\nd\re\tf"), "a\\\"b\\\\c\\nd\\re\\tf");
    // Other control characters and non-ASCII bytes pass through as they are.
    EXPECT_EQ(JsonEscape("\f\x01\xC3\xA9\xFF"), "\f\x01\xC3\xA9\xFF");
    EXPECT_EQ(JsonErrorDocument("say \"no\"\n"), R"j({"error":"say \"no\"\n"})j");
    EXPECT_EQ(JsonStringMember("In\"dex", "1"), R"j("In\"dex":"1")j");
    EXPECT_EQ(JsonBoolMember("Is Buyer", false), R"j("Is Buyer":false)j");
}

TEST(JsonWriters, NumbersHaveTenSignificantDigitsAndNonFiniteIsNull) {
    const std::pair<double, const char*> cases[] = {
        {100, "100"},
        {0.5, "0.5"},
        {1234567.891, "1234567.891"},
        {0.00001234, "1.234e-05"},
        {12345678901.0, "1.23456789e+10"},
        {-0.0, "-0"},
        {0.1, "0.1"},
        {1.0 / 3, "0.3333333333"},
        {2.5e-7, "2.5e-07"},
        {1e10, "1e+10"},
        {-41241.18964555, "-41241.18965"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(JsonNumberMember("x", value), std::string("\"x\":") + text) << value;
    }
}

TEST(JsonDocuments, HealthAndSeriesDocuments) {
    EXPECT_EQ(HealthDocument({0, 0, 0}), R"j({"status":"ok","curves":0,"series":0,"swaps":0})j");
    EXPECT_EQ(HealthDocument({3, 2, 12}), R"j({"status":"ok","curves":3,"series":2,"swaps":12})j");
    EXPECT_EQ(SeriesDocument({}), "{}");
    // Two series under one index text are both written, in the order given.
    const auto a = make_reference_swap()->series;
    const auto b = make_reference_swap()->series;
    b->name = "q\"";
    EXPECT_EQ(SeriesDocument({{"#Series_2", a}, {"#Series_5", b}}),
              R"j({"1":{"handle":"#Series_2","name":"1 (Sep 25)","StartDate":"2025-09-11",)j"
              R"j("MaturityDate":"2030-12-11","Coupon":200},)j"
              R"j("1":{"handle":"#Series_5","name":"q\"","StartDate":"2025-09-11",)j"
              R"j("MaturityDate":"2030-12-11","Coupon":200}})j");
}

TEST(JsonDocuments, RecordsAreWrittenInTheirFieldOrder) {
    PnLResult pnl;
    pnl.trade_pnl = std::nan("");
    pnl.fixed_payments = -0.125;
    pnl.trade_init_date = "2025-09-16";
    EXPECT_EQ(PnLToJson(pnl),
              R"j({"Current Notional (Trade)":0,"Upfront Payment (Trade)":0,)j"
              R"j("Accrued Interest (Trade)":0,"Total Payment (Trade)":0,)j"
              R"j("Current Notional (Close)":0,"Upfront Payment (Close)":0,)j"
              R"j("Accrued Interest (Close)":0,"Total Payment (Close)":0,"Fixed Payments":-0.125,)j"
              R"j("Floating Payments":0,"Trade PnL":null,"Trade Init Date":"2025-09-16",)j"
              R"j("Trade Close Date":"","OIS Date":""})j");
    ValuationResult valuation;
    valuation.ois_date = "2026-01-20";
    const std::string text = ValuationToJson(valuation);
    EXPECT_EQ(text.substr(0, 42), R"j({"Upfront Fee (%)":0,"Conventional Spread )j");
    EXPECT_EQ(text.substr(text.size() - 24), R"j("OIS Date":"2026-01-20"})j");
    EXPECT_EQ(PaymentDocument(-1.5, parse_date("2026-01-23"), "2026-01-20"),
              R"j({"Cash Settlement Amount":-1.5,"Payment Date":"2026-01-23",)j"
              R"j("ois_date":"2026-01-20"})j");
}

TEST(Utf8, MalformedSequencesBecomeReplacementCharacters) {
    using win32util::ReplaceMalformedUtf8;
    EXPECT_EQ(ReplaceMalformedUtf8("ok \xC3\xA9 \xF0\x9F\x98\x80"), "ok \xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(ReplaceMalformedUtf8("a\xFF"
                                   "b"),
              "a\xEF\xBF\xBD"
              "b");
    // A truncated sequence is one replacement; the byte that broke it starts afresh.
    EXPECT_EQ(ReplaceMalformedUtf8("\xE2\x82"
                                   "A"),
              "\xEF\xBF\xBD"
              "A");
    EXPECT_EQ(ReplaceMalformedUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong
    EXPECT_EQ(ReplaceMalformedUtf8("\xED\xA0\x80"),                           // surrogate
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(ReplaceMalformedUtf8("end\xF0\x9F"), "end\xEF\xBF\xBD");
    EXPECT_EQ(win32util::Utf8ToUtf16("/h\xC3\xA9\xF0\x9F\x98\x80\xFF"),
              u"/h\u00E9\U0001F600\uFFFD");
}

}  // namespace
}  // namespace qvl::service
