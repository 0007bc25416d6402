// The JSON request API behind POST /qvl, over the reference objects cached as the reference
// script caches them (#YC_1, #Series_2, #Swap_3 buying, #Swap_4 selling). Every body gets an
// answer of 200, 400 or 500 that is one valid JSON object, an error document unless 200; and
// whatever a request did to the cached swaps' working state, the reference valuation answers
// as before.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "core/self_check.hpp"
#include "fuzz_check.hpp"
#include "http/http_server.hpp"
#include "http/json_api.hpp"
#include "objects/object_cache.hpp"

namespace {

using win32util::HttpServer;

qvl::objects::ObjectCache cache;

HttpServer::Response post(std::string body) {
    return qvl::service::HandleApi(cache, HttpServer::Request{"POST", u"/qvl", std::move(body)});
}

const char* const reference_request =
    R"({"Request":"Calculate","swap":"#Swap_3","Trade Date":"2026-01-20","Credit Event Rate":200})";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    using qvl::objects::SwapHandle;
    const std::shared_ptr<const qvl::QVLSwap> buyer = qvl::make_reference_swap(true);
    cache.add(buyer->curve);
    cache.add(buyer->series);
    cache.add(std::make_shared<const SwapHandle>(buyer));
    cache.add(std::make_shared<const SwapHandle>(std::make_shared<const qvl::QVLSwap>(
        buyer->series, buyer->curve, false, buyer->initial_event_rate, buyer->notional)));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string reference_answer = post(reference_request).body;

    const HttpServer::Response answer =
        post(std::string(reinterpret_cast<const char*>(data), size));
    check(answer.status == 200 || answer.status == 400 || answer.status == 500,
          "status 200, 400 or 500");
    const auto document = nlohmann::json::parse(answer.body, nullptr, false);
    check(document.is_object(), "the answer is one JSON object");
    if (answer.status != 200) {
        check(document.size() == 1 && document.contains("error") && document["error"].is_string(),
              "a refusal is an error document");
    }
    check(post(reference_request).body == reference_answer,
          "the reference valuation answers as before");
    return 0;
}
