#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "http/http_server.hpp"
#include "objects/object_cache.hpp"

// The JSON request API behind POST /qvl and POST /API.
namespace qvl::service {

using JsonObject = nlohmann::json;

// The body as one JSON object with at least one member, or nothing. Malformed UTF-8 is
// replaced by U+FFFD before parsing.
std::optional<JsonObject> parse_request_object(std::string_view body);

// Member accessors that never fail on a missing or mistyped member.
bool HasMember(const JsonObject& object, std::string_view name);
std::string GetText(const JsonObject& object, std::string_view name, std::string_view fallback);
double GetNumber(const JsonObject& object, std::string_view name, double fallback);

// The swap a request names: by its "swap" handle, else by its series "Index" (normalised as the
// worksheet does), else the first one in handle order. Throws TextError, whose message keeps the
// texts whole.
std::shared_ptr<const objects::SwapHandle> ResolveSwap(const objects::ObjectCache& cache,
                                                       const JsonObject& object);

// A request on cache. Holds the calculation lock for its whole run; answers every failure as a
// JSON error document (400 for the request's own faults, 500 for everything else) and never
// throws. A request whose deadline passes before the lock is free is answered busy (503).
win32util::HttpServer::Response HandleApi(objects::ObjectCache& cache,
                                          const win32util::HttpServer::Request& request);

}  // namespace qvl::service
