#include "http/json_documents.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "core/self_check.hpp"

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
        {1.0 / 3, "0.3333333333"},
        {2.5e-7, "2.5e-07"},
        {1e10, "1e+10"},
        {-41241.18964555, "-41241.18965"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(JsonNumberMember("x", value), std::string("\"x\":") + text) << value;
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
