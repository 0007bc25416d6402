#pragma once

// The worksheet's side of the HTTP service: the port argument, the result texts of QVL.HttpStart
// and QVL.HttpStop, and the close action that stops the service with the add-in. All of it runs
// on the host's calculation thread without the calculation lock (see http/http_service.hpp).

#include <cstdint>
#include <optional>
#include <string>

namespace qvl::addin {

// The worksheet argument as a port: a number's integer part, low 16 bits; the default when the
// cell held no number (nullopt).
std::uint16_t port_from_argument(std::optional<double> argument);

// "HTTP server running on port N", "Failed: ...", or an exception's message; and "HTTP server
// stopped".
std::string http_start_text(std::optional<double> port_argument);
std::string http_stop_text();

// The add-in's first close action: stops the service. Always succeeds (a failure is logged), so
// that the add-in's functions are unregistered all the same.
int stop_http_service_at_close();

}  // namespace qvl::addin
