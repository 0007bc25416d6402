// The "Risk" request: the document of the five figures, and the errors of "Calculate".

#include <gtest/gtest.h>

#include <string>

#include "../core/swap_test_support.hpp"
#include "core/risk.hpp"
#include "http/json_documents.hpp"
#include "service_fixture.hpp"

namespace qvl::service::testing {
namespace {

using RiskRequest = ServiceTest;

const std::string reference_risk =
    R"j({"Upfront Payment":-3138.55,"Event Rate 01":-4365.03,"Spread 01":-4352.15,)j"
    R"j("IR 01":-0.17,"Trade Date":"2026-01-20"})j";

TEST_F(RiskRequest, AnswersTheFiguresOfTheSwapNamedOrFirst) {
    const auto swap = store_reference();
    for (
        const char* body :
        {R"j({"Request":"Risk","swap":"#Swap_3","Trade Date":"2026-01-20","Credit Event Rate":200})j",
         R"j({"Request":"Risk","Index":"1","Trade Date":"2026-01-20","Credit Event Rate":200})j",
         R"j({"Request":"Risk","Trade Date":"2026-01-20","Credit Event Rate":200})j"}) {
        const Reply reply = post(body);
        EXPECT_EQ(reply.status, 200) << body;
        EXPECT_EQ(reply.body, reference_risk) << body;
    }
    // Without a rate, the one the swap holds; the swap keeps the trade date.
    {
        const auto lock = objects::ObjectCache::instance().calculation_lock();
        swap->calc_from_event_rate(qvl::testing::day("2026-01-20"), 350, "");
    }
    const Reply kept = post(R"j({"Request":"Risk","Trade Date":"2026-02-17"})j");
    EXPECT_EQ(kept.status, 200);
    const auto lock = objects::ObjectCache::instance().calculation_lock();
    EXPECT_EQ(kept.body,
              risk_to_json(risk(*make_reference_swap(), qvl::testing::day("2026-02-17"), 350)));
    EXPECT_EQ(swap->eventRate(), 350);
    EXPECT_EQ(swap->tradeDate(), qvl::testing::day("2026-02-17"));
}

TEST_F(RiskRequest, FaultsAreTheCalculationsFaults) {
    const Reply none = post(R"j({"Request":"Risk","Trade Date":"2026-01-20"})j");
    EXPECT_EQ(none.status, 500);
    EXPECT_EQ(none.body,
              JsonErrorDocument("No swaps cached. Create one via QVL.CreateSwap first."));
    store_reference();
    const std::pair<std::string, std::string> request_faults[] = {
        {R"j({"Request":"Risk"})j", "'Trade Date' is required"},
        {R"j({"Request":"Risk","Trade Date":""})j", "'Trade Date' is required"},
        {R"j({"Request":"Risk","Trade Date":"2026-13-01"})j", "Invalid 'Trade Date'"},
    };
    for (const auto& [body, message] : request_faults) {
        const Reply reply = post(body);
        EXPECT_EQ(reply.status, 400) << body;
        EXPECT_EQ(reply.body, JsonErrorDocument(message)) << body;
    }
    const std::pair<std::string, std::string> failures[] = {
        {R"j({"Request":"Risk","swap":"#Swap_9","Trade Date":"2026-01-20"})j",
         "Swap handle not found: #Swap_9"},
        {R"j({"Request":"Risk","Index":"7","Trade Date":"2026-01-20"})j",
         "No cached swap for Index: 7"},
        {R"j({"Request":"Risk","Trade Date":"2031-01-02"})j",
         "QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date"},
    };
    for (const auto& [body, message] : failures) {
        const Reply reply = post(body);
        EXPECT_EQ(reply.status, 500) << body;
        EXPECT_EQ(reply.body, JsonErrorDocument(message)) << body;
    }
}

TEST(RiskDocument, AnEmptyMeasureIsNull) {
    RiskResult r;
    r.upfront_payment = -1.5;
    r.event_rate_01 = 2.25;
    r.ir_01 = 0.0;
    r.trade_date = "2030-12-17";
    EXPECT_EQ(risk_to_json(r), R"j({"Upfront Payment":-1.5,"Event Rate 01":2.25,"Spread 01":null,)j"
                               R"j("IR 01":0,"Trade Date":"2030-12-17"})j");
}

}  // namespace
}  // namespace qvl::service::testing
