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

using objects::Calculation;
using objects::HeldSwap;
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

// A request's number, or nullopt when the member is missing or holds no number.
std::optional<double> optional_number(const JsonObject& object, std::string_view name) {
    if (!object.is_object()) return std::nullopt;
    const auto it = object.find(name);
    if (it == object.end() || !it->is_number()) return std::nullopt;
    return it->get<double>();
}

// The trade date the swap's handle remembers, else the request's (by default the reference
// one).
std::string specs_answer(HeldSwap swap, const JsonObject& object) {
    const Date remembered = swap.memory().trade_date;
    const Date trade_date =
        remembered != invalid_date
            ? remembered
            : read_date(GetText(object, "Trade Date", default_trade_date), "Trade Date");
    return SpecsDocument(swap.swap(), *swap.swap().series, trade_date,
                         advance_business_days(trade_date, swap.swap().settlement_delay),
                         swap.memory().event_rate);
}

std::string calculate_answer(HeldSwap swap, const JsonObject& object) {
    const Date trade_date = required_date(object, "Trade Date");

    if (HasMember(object, "Init Clean Price") && HasMember(object, "Close Clean Price")) {
        // "Initiation Date" when given, else "Init Trade Date"; without either the request is
        // asked for the first.
        const Date init_date = required_date(
            object, HasMember(object, "Initiation Date") || !HasMember(object, "Init Trade Date")
                        ? "Initiation Date"
                        : "Init Trade Date");
        return PnLToJson(
            swap.trade_pnl(init_date, GetNumber(object, "Init Clean Price", 0), trade_date,
                           GetNumber(object, "Close Clean Price", 0),
                           GetNumber(object, "Credit Event Rate", default_event_rate)));
    }
    if (HasMember(object, "Clean Price")) {
        const double upfront = 100.0 - GetNumber(object, "Clean Price", 0);
        return ValuationToJson(swap.solve_from_upfront(trade_date, upfront));
    }
    if (HasMember(object, "Conventional Spread")) {
        return ValuationToJson(
            swap.solve_from_spread(trade_date, GetNumber(object, "Conventional Spread", 0)));
    }
    if (HasMember(object, "Upfront Fee")) {
        return ValuationToJson(
            swap.solve_from_upfront(trade_date, GetNumber(object, "Upfront Fee", 0)));
    }
    if (HasMember(object, "Credit Event Rate")) {
        return ValuationToJson(
            swap.calc_from_event_rate(trade_date, GetNumber(object, "Credit Event Rate", 0)));
    }
    throw RequestError(
        "Calculate requires 'Clean Price', 'Conventional Spread', 'Upfront Fee', or 'Credit "
        "Event Rate'");
}

// The sensitivities at a trade date and rate; without a rate, at the one the swap holds.
std::string risk_answer(HeldSwap swap, const JsonObject& object) {
    const Date trade_date = required_date(object, "Trade Date");
    return risk_to_json(swap.risk(trade_date, optional_number(object, "Credit Event Rate")));
}

// The closing payment at the rate the swap's handle holds.
std::string payment_answer(HeldSwap swap, const JsonObject& object) {
    const Date trade_date = required_date(object, "Trade Date");
    if (!HasMember(object, "Clean Price")) throw RequestError("'Clean Price' is required");
    const double clean_price = GetNumber(object, "Clean Price", 0);
    const double total =
        swap.trade_payment(trade_date, clean_price, false, std::nullopt).total_payment;
    return PaymentDocument(-total, advance_business_days(trade_date, swap.swap().settlement_delay),
                           swap.swap().ois_date());
}

HttpServer::Response run(ObjectCache& cache, const Calculation& calculation,
                         std::string_view body) {
    const auto object = parse_request_object(body);
    if (!object) throw RequestError("No JSON data received");
    const std::string kind = GetText(*object, "Request", "");
    if (kind.empty()) throw RequestError("'Request' field is missing");
    if (kind == "Series") return answer(200, SeriesDocument(cache.list_series()));
    const auto on_swap = [&](auto&& respond) {
        return answer(200, respond(calculation.hold(ResolveSwap(cache, *object)), *object));
    };
    if (kind == "Specs") return on_swap(specs_answer);
    if (kind == "Calculate") return on_swap(calculate_answer);
    if (kind == "Payment") return on_swap(payment_answer);
    if (kind == "Risk") return on_swap(risk_answer);
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

std::shared_ptr<const objects::SwapHandle> ResolveSwap(const ObjectCache& cache,
                                                       const JsonObject& object) {
    if (HasMember(object, "swap")) {
        return cache.require<objects::SwapHandle>(GetText(object, "swap", ""));
    }
    if (HasMember(object, "Index")) {
        const std::string key = NormaliseIndexKey(GetText(object, "Index", ""));
        if (auto found = cache.find_swap_by_index(key)) return found;
        throw text::TextError("No cached swap for Index: " + key);
    }
    if (auto first = cache.first_swap()) return first;
    throw std::runtime_error("No swaps cached. Create one via QVL.CreateSwap first.");
}

HttpServer::Response HandleApi(ObjectCache& cache, const HttpServer::Request& request) {
    try {
        // Worksheet functions use the same cached objects on the host's thread; one that runs
        // long keeps the request from starting, and it is answered busy at its deadline.
        const Calculation calculation = cache.calculation(request.deadline);
        if (!calculation.owns_lock()) return HttpServer::busy();
        try {
            return run(cache, calculation, request.body);
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
