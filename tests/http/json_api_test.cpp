// The request API through a real listener: every request kind on the reference swap, and every
// 400 and 500 answer.

#include "http/json_api.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "../core/swap_test_support.hpp"
#include "http/json_documents.hpp"
#include "service_fixture.hpp"

namespace qvl::service::testing {
namespace {

using ApiTest = ServiceTest;

// The start of a PnL request on the reference swap; the initiation date members follow.
const std::string pn_l_prices =
    R"j({"Request":"Calculate","Trade Date":"2026-01-20","Init Clean Price":100,)j"
    R"j("Close Clean Price":99,)j";

// Only the JSON member that the test is about.
std::string member(const std::string& document, const std::string& name) {
    const auto parsed = parse_request_object(document);
    return parsed && HasMember(*parsed, name) ? (*parsed)[name].dump() : "absent";
}

TEST_F(ApiTest, RequestFaultsAreAnswered400) {
    const std::pair<std::string, std::string> cases[] = {
        // Specs reads the date only while no calculation has set one on the swap.
        {R"j({"Request":"Specs","Trade Date":"never"})j", "Invalid 'Trade Date'"},
        {"", "No JSON data received"},
        {"{}", "No JSON data received"},
        {"[1]", "No JSON data received"},
        {"{\"Request\":\"Series\"", "No JSON data received"},
        {R"j({"Request":5})j", "'Request' field is missing"},
        {R"j({"Request":""})j", "'Request' field is missing"},
        {R"j({"Request":"specs"})j", "Unknown Request: specs"},
        {"{\"Request\":\"Calc\xFF\"}", "Unknown Request: Calc\xEF\xBF\xBD"},
        {R"j({"Request":"Calculate","Trade Date":""})j", "'Trade Date' is required"},
        {R"j({"Request":"Calculate","Trade Date":20260120})j", "'Trade Date' is required"},
        {R"j({"Request":"Calculate","Trade Date":"abcdefghij","Upfront Fee":1})j",
         "Invalid 'Trade Date'"},
        {R"j({"Request":"Calculate","Trade Date":"2026-01-20","Init Clean Price":99})j",
         "Calculate requires 'Clean Price', 'Conventional Spread', 'Upfront Fee', or 'Credit "
         "Event Rate'"},
        {R"j({"Request":"Payment","Trade Date":"x"})j", "Invalid 'Trade Date'"},
        {R"j({"Request":"Payment","Trade Date":"2026-01-20"})j", "'Clean Price' is required"},
        // The PnL form's initiation date is checked like the trade date, under the member used.
        {pn_l_prices + R"j("Initiation Date":"bad","Init Trade Date":"2025-09-11"})j",
         "Invalid 'Initiation Date'"},
        {pn_l_prices + R"j("Init Trade Date":"bad"})j", "Invalid 'Init Trade Date'"},
        {pn_l_prices + R"j("Init Trade Date":""})j", "'Init Trade Date' is required"},
        {pn_l_prices + R"j("Initiation Date":null,"Init Trade Date":"2025-09-11"})j",
         "'Initiation Date' is required"},
        {pn_l_prices + R"j("Credit Event Rate":200})j", "'Initiation Date' is required"},
    };
    store_reference();
    for (const auto& [body, message] : cases) {
        const Reply reply = post(body);
        EXPECT_EQ(reply.status, 400) << body;
        EXPECT_EQ(reply.reason, "Bad Request");
        EXPECT_EQ(reply.body, JsonErrorDocument(message)) << body;
    }
}

TEST_F(ApiTest, LookupAndCalculationFailuresAreAnswered500) {
    const Reply empty = post(R"j({"Request":"Calculate"})j");
    EXPECT_EQ(empty.status, 500);
    EXPECT_EQ(empty.reason, "Internal Server Error");
    EXPECT_EQ(empty.body,
              JsonErrorDocument("No swaps cached. Create one via QVL.CreateSwap first."));
    store_reference();
    const std::pair<std::string, std::string> cases[] = {
        {R"j({"Request":"Specs","swap":3})j", "Swap handle not found: "},
        {R"j({"Request":"Specs","swap":"#swap_3"})j", "Swap handle not found: #swap_3"},
        {R"j({"Request":"Specs","Index":1})j", "No cached swap for Index: "},
        {R"j({"Request":"Specs","Index":"2.5"})j", "No cached swap for Index: 2.500000"},
        {R"j({"Request":"Calculate","Trade Date":"2030-12-11","Credit Event Rate":200})j",
         "QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date"},
    };
    for (const auto& [body, message] : cases) {
        const Reply reply = post(body);
        EXPECT_EQ(reply.status, 500) << body;
        EXPECT_EQ(reply.body, JsonErrorDocument(message)) << body;
    }
}

TEST_F(ApiTest, TextsKeepTheirNulCharacters) {
    store_reference();
    const auto error_of = [&](const std::string& body) {
        const Reply reply = post(body);
        return std::to_string(reply.status) + " " +
               nlohmann::json::parse(reply.body).at("error").get<std::string>();
    };
    using namespace std::string_literals;
    // "1" followed by a NUL is no number: it names no series, least of all series 1.
    EXPECT_EQ(error_of(R"j({"Request":"Specs","Index":"1\u0000x"})j"),
              "500 No cached swap for Index: 1\0x"s);
    EXPECT_EQ(error_of(R"j({"Request":"Specs","Index":" 1\u0000 "})j"),
              "500 No cached swap for Index: 1\0"s);
    EXPECT_EQ(error_of(R"j({"Request":"Specs","swap":"#Swap_3\u0000"})j"),
              "500 Swap handle not found: #Swap_3\0"s);
    EXPECT_EQ(error_of(R"j({"Request":"Specs\u0000\u0001\"\\x"})j"),
              "400 Unknown Request: Specs\0\1\"\\x"s);
    EXPECT_EQ(post(R"j({"Request":"Specs","Index":"1"})j").status, 200);
}

TEST_F(ApiTest, SeriesAndSpecsParseWhateverTheirTextsHold) {
    const std::string text("\0\x01\f\x1F\"\\\n\x7F\xC3\xA9", 10);
    store(qvl::testing::make_named_swap(text, "name" + text));
    const auto listing = nlohmann::json::parse(post(R"j({"Request":"Series"})j").body);
    EXPECT_EQ(listing.at(text).at("name"), "name" + text);
    const auto specs = nlohmann::json::parse(post(R"j({"Request":"Specs"})j").body);
    EXPECT_EQ(specs.at("Index"), text);
    EXPECT_EQ(specs.at("Name"), "name" + text);
    // The request's text finds the series: the index is no number, so it is only trimmed.
    const auto by_index = post(nlohmann::json{{"Request", "Specs"}, {"Index", " " + text}}.dump());
    EXPECT_EQ(by_index.status, 200) << by_index.body;
}

TEST_F(ApiTest, SeriesAndSpecsDescribeTheCache) {
    EXPECT_EQ(post(R"j({"Request":"Series"})j").body, "{}");
    store_reference();
    const Reply series = post(R"j({"Request":"Series","swap":"ignored"})j", "/API");
    EXPECT_EQ(series.status, 200);
    EXPECT_EQ(series.reason, "OK");
    EXPECT_EQ(series.body,
              R"j({"1":{"handle":"#Series_2","name":"1 (Sep 25)","StartDate":"2025-09-11",)j"
              R"j("MaturityDate":"2030-12-11","Coupon":200}})j");
    // A swap no calculation has touched takes the request's date, else 2026-01-21.
    const std::string untouched = post(R"j({"Request":"Specs"})j").body;
    EXPECT_EQ(untouched,
              R"j({"Index":"1","Name":"1 (Sep 25)","StartDate":"2025-09-11",)j"
              R"j("MaturityDate":"2030-12-11","Coupon":200,"Trade Date":"2026-01-21",)j"
              R"j("Settlement Date":"2026-01-26","Frequency":"M","Daycount":"ACT/360",)j"
              R"j("Calendar":"NYB","Currency":"USD","Settlement":"T+3","Is Buyer":true,)j"
              R"j("Event Rate (bps)":200,"Notional":10000000})j");
    // Afterwards the swap reports the date and rate of its last calculation.
    post(R"j({"Request":"Calculate","Trade Date":"2026-01-20","Credit Event Rate":150})j");
    const std::string touched = post(R"j({"Request":"Specs","Trade Date":"2027-01-01"})j").body;
    EXPECT_EQ(member(touched, "Trade Date"), R"j("2026-01-20")j");
    EXPECT_EQ(member(touched, "Event Rate (bps)"), "150");
}

TEST_F(ApiTest, IndexPicksTheSwapWhoseHandleSortsFirst) {
    {
        auto& cache = objects::ObjectCache::instance();
        const auto lock = cache.calculation_lock();
        cache.StoreSwap("#Swap_4", make_reference_swap(true));
        cache.StoreSwap("#Swap_12", make_reference_swap(false));
    }
    const auto buyer_of = [&](const std::string& body) {
        return member(post(body).body, "Is Buyer");
    };
    EXPECT_EQ(buyer_of(R"j({"Request":"Specs","Index":" 1 "})j"), "false");  // #Swap_12
    EXPECT_EQ(buyer_of(R"j({"Request":"Specs"})j"), "false");
    EXPECT_EQ(buyer_of(R"j({"Request":"Specs","Index":"9","swap":"#Swap_4"})j"), "true");
}

TEST_F(ApiTest, CalculateValuesAndSolvesTheReferenceSwap) {
    store_reference();
    const Reply valued = post(calculate_at200);
    EXPECT_EQ(valued.status, 200);
    EXPECT_EQ(valued.body, reference_valuation);

    const auto calculate = [&](const std::string& members) {
        return post(R"j({"Request":"Calculate","swap":"#Swap_3","Trade Date":"2026-01-20",)j" +
                    members + "}")
            .body;
    };
    // The solved rate is within the search's tolerance of 200, so only the rounded rows are
    // certain to match the valuation.
    const std::string from_spread = calculate(R"j("Conventional Spread":200.720859)j");
    EXPECT_EQ(member(from_spread, "Credit Event Rate (bp)"), "200");
    EXPECT_EQ(member(from_spread, "Upfront Fee (%)"), "0.03146157");
    const std::string from_fee = calculate(R"j("Upfront Fee":0.03146156)j");
    EXPECT_EQ(member(from_fee, "Credit Event Rate (bp)"), "200");
    EXPECT_EQ(member(from_fee, "Conventional Spread (bp)"), "200.720859");
    // The clean price wins over the other forms, even when it is not a number (price 0).
    const std::string from_price =
        calculate(R"j("Upfront Fee":5,"Clean Price":98,"Credit Event Rate":1)j");
    EXPECT_EQ(member(from_price, "Upfront Fee (%)"), "2");
    EXPECT_EQ(member(from_price, "Clean Price"), "98");
    // Price 0 is an upfront fee of 100 %, out of reach of every rate.
    EXPECT_EQ(calculate(R"j("Clean Price":"98","Credit Event Rate":1)j"),
              JsonErrorDocument("QVL Swap calculator is unable to solve for the Credit Event Rate "
                                "given an Upfront Fee of 100.000000 %"));
    // One PnL price alone does not select the PnL form.
    EXPECT_EQ(calculate(R"j("Close Clean Price":99,"Credit Event Rate":200)j"),
              reference_valuation);
}

TEST_F(ApiTest, QuotesNoRateReproducesAreAnswered500LikeAFailedSearch) {
    store_reference();
    const std::pair<std::string, std::string> cases[] = {
        {R"j("Clean Price":10)j", "an Upfront Fee of 90.000000 %"},
        {R"j("Upfront Fee":-80)j", "an Upfront Fee of -80.000000 %"},
        {R"j("Conventional Spread":40000)j", "a Conventional Spread of 40000.000000 bps"},
    };
    for (const auto& [members, quote] : cases) {
        const Reply reply =
            post(R"j({"Request":"Calculate","Trade Date":"2026-01-20",)j" + members + "}");
        EXPECT_EQ(reply.status, 500) << members;
        EXPECT_EQ(
            reply.body,
            JsonErrorDocument(
                "QVL Swap calculator is unable to solve for the Credit Event Rate given " + quote));
    }
    // The swap keeps its own coupon: a valuation afterwards is the reference one.
    EXPECT_EQ(post(calculate_at200).body, reference_valuation);
}

TEST_F(ApiTest, TradeDatesThatNameNoDayAreAnswered400) {
    store_reference();
    for (const char* request :
         {R"j({"Request":"Specs","Trade Date":"2026-02-30"})j",
          R"j({"Request":"Calculate","Trade Date":"2026-1-21","Credit Event Rate":200})j",
          R"j({"Request":"Payment","Trade Date":" 2026-01-21","Clean Price":99})j"}) {
        const Reply reply = post(request);
        EXPECT_EQ(reply.status, 400) << request;
        EXPECT_EQ(reply.body, JsonErrorDocument("Invalid 'Trade Date'")) << request;
    }
    const std::string later = post(R"j({"Request":"Calculate","Trade Date":"2026-03-02T00:00",)j"
                                   R"j("Credit Event Rate":200})j")
                                  .body;
    EXPECT_EQ(member(later, "Trade Date"), R"j("2026-03-02")j");
}

TEST_F(ApiTest, CalculateComputesTradePnLAndPaymentSettlesCash) {
    store_reference();
    const std::string expected =
        R"j({"Current Notional (Trade)":10000000,"Upfront Payment (Trade)":45230,)j"
        R"j("Accrued Interest (Trade)":0,"Total Payment (Trade)":45230,)j"
        R"j("Current Notional (Close)":9975830,"Upfront Payment (Close)":45120.67909,)j"
        R"j("Accrued Interest (Close)":-3879.489444,"Total Payment (Close)":41241.18965,)j"
        R"j("Fixed Payments":-68882.50944,"Floating Payments":24170,"Trade PnL":41758.6802,)j"
        R"j("Trade Init Date":"2025-09-16","Trade Close Date":"2026-01-23","OIS Date":"2026-01-20"})j";
    const std::string prices =
        R"j("Trade Date":"2026-01-20","Init Clean Price":100.4523,"Close Clean Price":99.5477)j";
    // Without a rate the PnL takes 200 bp; "Initiation Date" wins over "Init Trade Date".
    EXPECT_EQ(
        post(R"j({"Request":"Calculate","Init Trade Date":"2025-09-11",)j" + prices + "}").body,
        expected);
    EXPECT_EQ(post(R"j({"Request":"Calculate","Initiation Date":"2025-09-11",)j"
                   R"j("Init Trade Date":"bad","Credit Event Rate":200,)j" +
                   prices + "}")
                  .body,
              expected);
    const Reply paid =
        post(R"j({"Request":"Payment","Trade Date":"2026-01-20","Clean Price":99.5477})j");
    EXPECT_EQ(paid.status, 200);
    EXPECT_EQ(paid.body, R"j({"Cash Settlement Amount":-41241.18965,"Payment Date":"2026-01-23",)j"
                         R"j("ois_date":"2026-01-20"})j");
    // A member that is present but null still counts as given (price 0).
    EXPECT_EQ(
        post(R"j({"Request":"Payment","Trade Date":"2026-01-20","Clean Price":null})j").status,
        200);
}

}  // namespace
}  // namespace qvl::service::testing
