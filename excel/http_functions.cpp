// QVL.HttpStart and QVL.HttpStop: the worksheet's switch for the HTTP service. Neither takes the
// calculation lock: stopping waits for the request in hand, which may be waiting for that lock.

#include <optional>

#include "excel/worksheet.hpp"
#include "excel/worksheet_functions.hpp"
#include "excel/xloper.hpp"
#include "http/http_service.hpp"

QVL_FUNCTION(HttpStart, XLOPER12* port);
QVL_FUNCTION(HttpStop);

XLOPER12* QVL_HttpStart(XLOPER12* port) {
    static xll::xloper result;
    return xll::Respond(result, [&](xll::xloper& out) {
        // Only a number, a boolean or an integer names a port; anything else leaves the default.
        std::optional<double> argument;
        if (port != nullptr && xll::is_numeric(*port)) argument = xll::numeric_of(*port);
        xll::SetText(out, qvl::service::HttpStartText(argument));
    });
}
QVL_EXPORT(HttpStart);

XLOPER12* QVL_HttpStop() {
    static xll::xloper result;
    return xll::Respond(result,
                        [](xll::xloper& out) { xll::SetText(out, qvl::service::HttpStopText()); });
}
QVL_EXPORT(HttpStop);
