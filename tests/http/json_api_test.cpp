// The request API through a real listener: what the scenario comparison's requests do not reach
// (the risk, members given in more than one form, and the 400 answers). Its ~1,500 requests pin
// the documents of the other kinds, the series listing and the specs among them.

#include "http/json_api.hpp"

#include <gtest/gtest.h>

#include <string>

#include "http/json_documents.hpp"
#include "service_fixture.hpp"

namespace qvl::service::testing {
namespace {

using namespace std::string_literals;
using ApiTest = ServiceTest;

// Only the JSON member that the test is about.
std::string member(const std::string& document, const std::string& name) {
    const auto parsed = parse_request_object(document);
    return parsed && HasMember(*parsed, name) ? (*parsed)[name].dump() : "absent";
}

TEST_F(ApiTest, FaultsAreAnsweredWithTheirStatusAndMessage) {
    EXPECT_EQ(post(R"j({"Request":"Series"})j").body, "{}");
    EXPECT_EQ(post(R"j({"Request":"Calculate"})j").body,
              JsonErrorDocument("No swaps cached. Create one via QVL.CreateSwap first."));
    store();
    const std::string pnl = R"j({"Request":"Calculate","Trade Date":"2026-01-20",)j"
                            R"j("Init Clean Price":100,"Close Clean Price":99,)j";
    const std::string unsolvable =
        "QVL Swap calculator is unable to solve for the Credit Event Rate given ";
    const std::string at_20 = R"j({"Request":"Calculate","Trade Date":"2026-01-20",)j";
    const struct {
        int status;
        std::string body, message;
    } cases[] = {
        {400, R"j({"Request":5})j", "'Request' field is missing"},
        {400, "{\"Request\":\"Calc\xFF\"}", "Unknown Request: Calc\xEF\xBF\xBD"},
        {400, R"j({"Request":"Calculate","Trade Date":20260120})j", "'Trade Date' is required"},
        {400, R"j({"Request":"Calculate","Trade Date":"abcdefghij","Upfront Fee":1})j",
         "Invalid 'Trade Date'"},
        {400, R"j({"Request":"Specs","Trade Date":"2026-02-30"})j", "Invalid 'Trade Date'"},
        {400, at_20 + R"j("Init Clean Price":99})j",
         "Calculate requires 'Clean Price', 'Conventional Spread', 'Upfront Fee', or 'Credit "
         "Event Rate'"},
        {400, R"j({"Request":"Payment","Trade Date":"2026-01-20"})j", "'Clean Price' is required"},
        // The PnL form's initiation date is checked like the trade date, under the member used.
        {400, pnl + R"j("Initiation Date":"bad","Init Trade Date":"2025-09-11"})j",
         "Invalid 'Initiation Date'"},
        {400, pnl + R"j("Init Trade Date":"bad"})j", "Invalid 'Init Trade Date'"},
        {400, pnl + R"j("Initiation Date":null,"Init Trade Date":"2025-09-11"})j",
         "'Initiation Date' is required"},
        {400, pnl + R"j("Credit Event Rate":200})j", "'Initiation Date' is required"},
        {500, R"j({"Request":"Specs","swap":"#swap_3"})j", "Swap handle not found: #swap_3"},
        {500, R"j({"Request":"Specs","Index":"2.5"})j", "No cached swap for Index: 2.500000"},
        // "1" followed by a NUL is no number: it names no series, least of all series 1.
        {500, R"j({"Request":"Specs","Index":"1\u0000x"})j", "No cached swap for Index: 1\0x"s},
        {500, R"j({"Request":"Risk","Trade Date":"2030-12-11"})j",
         "QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date"},
        // A text is no number: price 0, an upfront fee of 100 % no rate reproduces.
        {500, at_20 + R"j("Clean Price":"98","Credit Event Rate":1})j",
         unsolvable + "an Upfront Fee of 100.000000 %"},
    };
    for (const auto& [status, body, message] : cases) {
        SCOPED_TRACE(body);
        const Reply reply = post(body);
        EXPECT_EQ(reply.status, status);
        EXPECT_EQ(reply.reason, status == 400 ? "Bad Request" : "Internal Server Error");
        EXPECT_EQ(reply.body, JsonErrorDocument(message));
    }
    // The failed searches left the swap as it was: a valuation afterwards is the reference one.
    EXPECT_EQ(post(calculate_at200).body, reference_valuation);
}

TEST_F(ApiTest, CalculateTakesTheHandleAndThePriceFirst) {
    store();
    // The handle wins over the index.
    const auto calculate = [&](const std::string& members) {
        return post(R"j({"Request":"Calculate","swap":"#Swap_3","Index":"9",)j"
                    R"j("Trade Date":"2026-01-20",)j" +
                    members + "}")
            .body;
    };
    // The clean price wins over the other forms.
    const std::string from_price =
        calculate(R"j("Upfront Fee":5,"Clean Price":98,"Credit Event Rate":1)j");
    EXPECT_EQ(member(from_price, "Clean Price"), "98");
    // One PnL price alone does not select the PnL form.
    EXPECT_EQ(calculate(R"j("Close Clean Price":99,"Credit Event Rate":200)j"),
              reference_valuation);
}

// The PnL and payment documents, and the PnL form's 200 bp without a rate (the specs after it
// show it held), are the scenario comparison's.
TEST_F(ApiTest, RiskAndPaymentReadTheirMembersAsDocumented) {
    store();
    EXPECT_EQ(post(R"j({"Request":"Risk","Index":" 1 ","Trade Date":"2026-01-20",)j"
                   R"j("Credit Event Rate":200})j")
                  .body,
              R"j({"Upfront Payment":-3138.55,"Event Rate 01":-4365.03,"Spread 01":-4352.15,)j"
              R"j("IR 01":-0.17,"Trade Date":"2026-01-20"})j");
    // The swap holds 350 bp from here on.
    post(R"j({"Request":"Calculate","Trade Date":"2026-01-20","Credit Event Rate":350})j");
    const std::string paid = R"j({"Request":"Payment","Trade Date":"2026-01-20","Clean Price":)j";
    // Each request and the plain one it must answer as.
    const std::pair<std::string, std::string> cases[] = {
        // Risk without a rate takes the held one; a date with a time of day is taken as its day.
        {R"j({"Request":"Risk","Trade Date":"2026-02-17T00:00"})j",
         R"j({"Request":"Risk","Trade Date":"2026-02-17","Credit Event Rate":350})j"},
        // A member that is present but null still counts as given: price 0.
        {paid + "null}", paid + "0}"},
    };
    for (const auto& [request, plain] : cases) {
        const Reply reply = post(request);
        EXPECT_EQ(reply.status, 200) << request;
        EXPECT_EQ(reply.body, post(plain).body) << request;
    }
}

}  // namespace
}  // namespace qvl::service::testing
