#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "http/http_server.hpp"

// The one process-wide service and the logic of its two worksheet commands. Everything here
// runs on the host's calculation thread and must be called without the calculation lock held:
// stopping waits for the request in hand, which may be waiting for that lock.
namespace qvl::service {

inline constexpr std::uint16_t kDefaultPort = 50080;

// Starts the service on port unless one is running already; false with the server's last
// error kept for HttpStartText.
bool StartHttpService(std::uint16_t port);

// Stops and drops the service, if any. Called when the add-in closes.
void StopHttpService();

bool HttpServiceRunning();

// The worksheet argument as a port: a number's integer part, low 16 bits; the default when the
// cell held no number (nullopt).
std::uint16_t PortFromArgument(std::optional<double> argument);

// The result texts of the two worksheet commands: "HTTP server running on port N",
// "Failed: ...", or an exception's message; and "HTTP server stopped".
std::string HttpStartText(std::optional<double> port_argument);
std::string HttpStopText();

// GET /health: the counts of cached objects, read without waiting for the calculation lock.
win32util::HttpServer::Response HandleHealth(const win32util::HttpServer::Request& request);

}  // namespace qvl::service
