#pragma once

// The platform's HTTP layer behind HttpServer; not part of the service's interface.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "http/http_server.hpp"

namespace win32util {

class HttpTransport {
  public:
    virtual ~HttpTransport() = default;

    // Listens on the loopback address at port and starts the listener's thread, which hands
    // every complete request to HttpServer::dispatch, and the worker's thread, which runs
    // HttpServer::work_calls. On failure returns false with a text naming the failing step and
    // the system's error, having released whatever it opened.
    virtual bool Open(std::uint16_t port, std::string& error) = 0;

    // Stops listening, lets the call in hand finish, joins both threads and releases
    // everything. Safe to call more than once.
    virtual void Close() = 0;
};

std::unique_ptr<HttpTransport> make_http_transport(HttpServer& server);

// Host header values that name this machine: localhost, 127.0.0.1 or [::1], with or without a
// port. Web pages reach a loopback service only under a foreign name (DNS rebinding), so other
// names are refused.
bool is_loopback_host(std::string_view host);

// Fixed answers of the listener itself, written without the document writers; a 503 carries
// Retry-After.
HttpServer::Response listener_error(std::uint16_t status, std::string_view reason,
                                    std::string_view message);

}  // namespace win32util
