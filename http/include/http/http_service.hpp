#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "http/http_server.hpp"

// The one process-wide service. Starting and stopping must happen without the calculation lock
// held: stopping waits for the request in hand, which may be waiting for that lock.
namespace qvl::service {

inline constexpr std::uint16_t default_port = 50080;

// Starts the service on port unless one is running already; false with the server's last
// error kept for http_service_last_error.
bool StartHttpService(std::uint16_t port);

// Stops and drops the service, if any. Returns what stopping had to leave to the platform's
// HTTP layer, for the log; empty when everything was released.
std::string stop_http_service();

bool http_service_running();

// The last error of the service's server (why StartHttpService failed); nullopt when there is
// no server.
std::optional<std::string> http_service_last_error();

// GET /health: the counts of cached objects, read without waiting for the calculation lock.
win32util::HttpServer::Response HandleHealth(const win32util::HttpServer::Request& request);

}  // namespace qvl::service
