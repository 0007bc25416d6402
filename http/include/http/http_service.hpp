#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "http/http_server.hpp"
#include "objects/object_cache.hpp"

// The service's routes over a cache, and the one process-wide service the worksheet starts.
// Starting and stopping must happen without the calculation lock held: stopping waits for the
// request in hand, which may be waiting for that lock.
namespace qvl::service {

inline constexpr std::uint16_t default_port = 50080;

// GET /health at once, POST /qvl and POST /API on the worker, all serving cache.
void add_service_routes(win32util::HttpServer& server, std::shared_ptr<objects::ObjectCache> cache);

// Starts the service of cache on port unless one is running already; false with the server's
// last error kept for http_service_last_error.
bool StartHttpService(std::uint16_t port, std::shared_ptr<objects::ObjectCache> cache);

// Stops and drops the service, if any. Returns what stopping had to leave to the platform's
// HTTP layer, for the log; empty when everything was released.
std::string stop_http_service();

bool http_service_running();

// The last error of the service's server (why StartHttpService failed); nullopt when there is
// no server.
std::optional<std::string> http_service_last_error();

// GET /health: the counts of cached objects, read without waiting for the calculation lock.
win32util::HttpServer::Response HandleHealth(const objects::ObjectCache& cache,
                                             const win32util::HttpServer::Request& request);

}  // namespace qvl::service
