// The request API through a real listener: what the scenario comparison's requests do not reach
// (members given in more than one form, and texts that are no valid UTF-8 or hold a NUL). Its
// requests pin the documents of every kind, the risk, the refusals and the specs among them.

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

// The other refusals and failures, the risk documents among them, are the scenario comparison's.
TEST_F(ApiTest, FaultsAreAnsweredWithTheirStatusAndMessage) {
    store();
    const struct {
        int status;
        std::string body, message;
    } cases[] = {
        {400, "{\"Request\":\"Calc\xFF\"}", "Unknown Request: Calc\xEF\xBF\xBD"},
        // "1" followed by a NUL is no number: it names no series, least of all series 1.
        {500, R"j({"Request":"Specs","Index":"1\u0000x"})j", "No cached swap for Index: 1\0x"s},
    };
    for (const auto& [status, body, message] : cases) {
        SCOPED_TRACE(body);
        const Reply reply = post(body);
        EXPECT_EQ(reply.status, status);
        EXPECT_EQ(reply.reason, status == 400 ? "Bad Request" : "Internal Server Error");
        EXPECT_EQ(reply.body, JsonErrorDocument(message));
    }
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

}  // namespace
}  // namespace qvl::service::testing
