#include "http/json_api.hpp"

#include <stdexcept>

#include "core/calendar.hpp"
#include "core/conventions.hpp"
#include "core/date.hpp"
#include "core/index_key.hpp"
#include "core/risk.hpp"
#include "http/json_documents.hpp"
#include "objects/object_cache.hpp"
#include "text/text_error.hpp"
#include "text/utf.hpp"

namespace qvl::service {

namespace {

using objects::ObjectCache;
using text::message_of;
using win32util::HttpServer;

// A fault of the request itself, answered 400. Its message may echo request texts whole.
class RequestError : public text::TextError {
  public:
    using text::TextError::TextError;
};

HttpServer::Response answer(std::uint16_t status, std::string body) {
    const char* reason = status == 200   ? "OK"
                         : status == 400 ? "Bad Request"
                                         : "Internal Server Error";
    return HttpServer::Response{status, reason, std::move(body)};
}

// A date the request gives under member; a text that names no date is the request's fault.
Date read_date(std::string_view text, std::string_view member) {
    try {
        return parse_date(text);
    } catch (const std::exception&) {
        throw RequestError("Invalid '" + std::string(member) + "'");
    }
}

Date required_date(const JsonObject& object, std::string_view member) {
    const std::string text = GetText(object, member, "");
    if (text.empty()) throw RequestError("'" + std::string(member) + "' is required");
    return read_date(text, member);
}

std::string ois_date_of(const QVLSwap& swap) {
    return format_date(swap.curve->trade_date());
}

std::string series_answer() {
    return SeriesDocument(ObjectCache::instance().ListSeries());
}

std::string specs_answer(const JsonObject& object) {
    const auto swap = ResolveSwap(object);
    const Date trade_date =
        swap->tradeDate() != invalid_date
            ? swap->tradeDate()
            : read_date(GetText(object, "Trade Date", default_trade_date), "Trade Date");
    return SpecsDocument(*swap, *swap->series, trade_date,
                         advance_business_days(trade_date, swap->settlement_delay));
}

std::string calculate_answer(const JsonObject& object) {
    const auto swap = ResolveSwap(object);
    const Date trade_date = required_date(object, "Trade Date");
    const std::string ois = ois_date_of(*swap);

    if (HasMember(object, "Init Clean Price") && HasMember(object, "Close Clean Price")) {
        // "Initiation Date" when given, else "Init Trade Date"; without either the request is
        // asked for the first.
        const Date init_date = required_date(
            object, HasMember(object, "Initiation Date") || !HasMember(object, "Init Trade Date")
                        ? "Initiation Date"
                        : "Init Trade Date");
        return PnLToJson(
            swap->trade_pnl(init_date, GetNumber(object, "Init Clean Price", 0), trade_date,
                            GetNumber(object, "Close Clean Price", 0), ois,
                            GetNumber(object, "Credit Event Rate", default_event_rate)));
    }
    if (HasMember(object, "Clean Price")) {
        const double upfront = 100.0 - GetNumber(object, "Clean Price", 0);
        return ValuationToJson(swap->solve_from_upfront(trade_date, upfront, ois));
    }
    if (HasMember(object, "Conventional Spread")) {
        return ValuationToJson(
            swap->solve_from_spread(trade_date, GetNumber(object, "Conventional Spread", 0), ois));
    }
    if (HasMember(object, "Upfront Fee")) {
        return ValuationToJson(
            swap->solve_from_upfront(trade_date, GetNumber(object, "Upfront Fee", 0), ois));
    }
    if (HasMember(object, "Credit Event Rate")) {
        return ValuationToJson(
            swap->calc_from_event_rate(trade_date, GetNumber(object, "Credit Event Rate", 0), ois));
    }
    throw RequestError(
        "Calculate requires 'Clean Price', 'Conventional Spread', 'Upfront Fee', or 'Credit "
        "Event Rate'");
}

// The sensitivities at a trade date and rate; without a rate, at the one the swap holds.
std::string risk_answer(const JsonObject& object) {
    const auto swap = ResolveSwap(object);
    const Date trade_date = required_date(object, "Trade Date");
    return risk_to_json(
        risk(*swap, trade_date, GetNumber(object, "Credit Event Rate", swap->eventRate())));
}

std::string payment_answer(const JsonObject& object) {
    const auto swap = ResolveSwap(object);
    const Date trade_date = required_date(object, "Trade Date");
    if (!HasMember(object, "Clean Price")) throw RequestError("'Clean Price' is required");
    const double clean_price = GetNumber(object, "Clean Price", 0);
    const std::string ois = ois_date_of(*swap);
    const double total = swap->get_trade_total_payment(trade_date, clean_price, swap->eventRate());
    return PaymentDocument(-total, advance_business_days(trade_date, swap->settlement_delay), ois);
}

HttpServer::Response run(std::string_view body) {
    const auto object = parse_request_object(body);
    if (!object) throw RequestError("No JSON data received");
    const std::string kind = GetText(*object, "Request", "");
    if (kind.empty()) throw RequestError("'Request' field is missing");
    if (kind == "Series") return answer(200, series_answer());
    if (kind == "Specs") return answer(200, specs_answer(*object));
    if (kind == "Calculate") return answer(200, calculate_answer(*object));
    if (kind == "Payment") return answer(200, payment_answer(*object));
    if (kind == "Risk") return answer(200, risk_answer(*object));
    throw RequestError("Unknown Request: " + kind);
}

}  // namespace

std::optional<JsonObject> parse_request_object(std::string_view body) {
    const std::string text = qvl::text::replace_malformed_utf8(body);
    JsonObject parsed = JsonObject::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_object() || parsed.empty()) return std::nullopt;
    return parsed;
}

bool HasMember(const JsonObject& object, std::string_view name) {
    return object.is_object() && object.find(name) != object.end();
}

std::string GetText(const JsonObject& object, std::string_view name, std::string_view fallback) {
    if (object.is_object()) {
        const auto it = object.find(name);
        if (it != object.end() && it->is_string()) return it->get<std::string>();
    }
    return std::string(fallback);
}

double GetNumber(const JsonObject& object, std::string_view name, double fallback) {
    if (object.is_object()) {
        const auto it = object.find(name);
        if (it != object.end() && it->is_number()) return it->get<double>();
    }
    return fallback;
}

std::shared_ptr<QVLSwap> ResolveSwap(const JsonObject& object) {
    const ObjectCache& cache = ObjectCache::instance();
    if (HasMember(object, "swap")) return cache.require_swap(GetText(object, "swap", ""));
    if (HasMember(object, "Index")) {
        const std::string key = NormaliseIndexKey(GetText(object, "Index", ""));
        if (auto found = cache.FindSwapByIndex(key)) return found;
        throw text::TextError("No cached swap for Index: " + key);
    }
    if (auto first = cache.FirstSwap()) return first;
    throw std::runtime_error("No swaps cached. Create one via QVL.CreateSwap first.");
}

HttpServer::Response HandleApi(const HttpServer::Request& request) {
    try {
        // Worksheet functions use the same cached objects on the host's thread; one that runs
        // long keeps the request from starting, and it is answered busy at its deadline.
        const auto lock = ObjectCache::instance().calculation_lock(request.deadline);
        if (!lock.owns_lock()) return HttpServer::busy();
        try {
            return run(request.body);
        } catch (const RequestError& e) {
            return answer(400, JsonErrorDocument(e.message()));
        } catch (const std::exception& e) {
            return answer(500, JsonErrorDocument(message_of(e)));
        } catch (...) {
            return answer(500, JsonErrorDocument("Unknown error"));
        }
    } catch (...) {
        return answer(500, R"({"error":"Unknown error"})");
    }
}

}  // namespace qvl::service
