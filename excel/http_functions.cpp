// QVL.HttpStart and QVL.HttpStop: the worksheet's switch for the HTTP service. Neither takes the
// calculation lock: stopping waits for the request in hand, which may be waiting for that lock.

#include "excel/http_functions.hpp"

#include <cmath>
#include <exception>

#include "excel/object_arguments.hpp"
#include "excel/worksheet_functions.hpp"
#include "http/http_service.hpp"
#include "xll/log.hpp"
#include "xll/worksheet.hpp"
#include "xll/xloper.hpp"

namespace qvl::addin {

namespace {

// What stopping had to leave behind goes to the log.
void stop_service() {
    if (const std::string left = service::stop_http_service(); !left.empty()) xll::LogLine(left);
}

}  // namespace

std::uint16_t port_from_argument(std::optional<double> argument) {
    if (!argument) return service::default_port;
    if (!std::isfinite(*argument)) return 0;
    // The integer part's low 16 bits, as a 32-bit conversion gives them, without its overflow.
    double low = std::fmod(std::trunc(*argument), 65536.0);
    if (low < 0) low += 65536.0;
    return static_cast<std::uint16_t>(low);
}

std::string http_start_text(std::optional<double> port_argument) {
    try {
        const std::uint16_t port = port_from_argument(port_argument);
        stop_service();
        if (service::StartHttpService(port, shared_worksheet_cache())) {
            return "HTTP server running on port " + std::to_string(port);
        }
        return "Failed: " + service::http_service_last_error().value_or("unknown");
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

std::string http_stop_text() {
    try {
        stop_service();
        return "HTTP server stopped";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

int stop_http_service_at_close() {
    // The functions that control the service go away now, and a library being unloaded may not
    // be able to wait for the serving thread; unloading still stops it as a fallback.
    try {
        stop_service();
    } catch (...) {
        xll::LogLine("xlAutoClose: stopping the HTTP service failed");
    }
    return 1;
}

}  // namespace qvl::addin

QVL_FUNCTION(HttpStart, 20, "Start the HTTP server on the specified port. Returns status message.",
             (LPXLOPER12 port),
             with_default("port", "HTTP port", number_text(service::default_port))) {
    static xll::xloper result;
    return xll::respond(result, [&](xll::xloper& out) {
        // Only a number, a boolean or an integer names a port; anything else leaves the default.
        std::optional<double> argument;
        if (port != nullptr && xll::is_numeric(*port)) argument = xll::numeric_of(*port);
        xll::set_text(out, qvl::addin::http_start_text(argument));
    });
}

QVL_FUNCTION(HttpStop, 30, "Stop the HTTP server.", ()) {
    static xll::xloper result;
    return xll::respond(result,
                        [](xll::xloper& out) { xll::set_text(out, qvl::addin::http_stop_text()); });
}
