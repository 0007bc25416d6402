#pragma once

// The platform's HTTP layer behind HttpServer; not part of the service's interface.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
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
    // everything. What the platform's HTTP layer does not give back within a few seconds is
    // left to it, and the text returned says what; empty when all was released. Safe to call
    // more than once.
    virtual std::string Close() = 0;
};

std::unique_ptr<HttpTransport> make_http_transport(HttpServer& server);

// A test seam of the Windows transport: the next one opened counts this many operations of the
// HTTP Server API as pending that never complete, as when the system's HTTP service has died.
void stall_operations_for_test(std::size_t count);

// What the screening reads of a request's head, as the transport found it: the number of
// header lines of each name and the first one's value.
struct RequestHead {
    bool http_1_0 = false;
    std::string_view target{};  // as sent
    bool origin = false;
    std::size_t hosts = 0;
    std::string_view host{};
    std::size_t lengths = 0;
    std::string_view length{};  // Content-Length
    std::size_t codings = 0;
    std::string_view coding{};  // Transfer-Encoding
};

// The refusal a request earns by its head alone, if any; the same rules on every platform.
std::optional<HttpServer::Response> screen(const RequestHead& head);

// The value of a run of decimal digits (saturated at the type's largest); nothing for an empty
// text or one with anything else in it.
std::optional<std::uint64_t> decimal(std::string_view digits);

// The path of a target: the query dropped, %XX sequences decoded (malformed ones kept as they
// are), the bytes read as UTF-8. An absolute-form target gives its path ("/" when it has none).
std::u16string decode_path(std::string_view target);

// Fixed answers of the listener itself, written without the document writers; a 503 carries
// Retry-After.
HttpServer::Response listener_error(std::uint16_t status, std::string_view reason,
                                    std::string_view message);

}  // namespace win32util
