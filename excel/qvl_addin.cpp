// What qvl.xll registers besides the worksheet functions, which declare themselves
// (excel/worksheet_functions.hpp): the framework's two commands at their places in the
// registration order, and the close action that stops the service.

#include "excel/http_functions.hpp"
#include "xll/addin.hpp"

namespace {

// After the service's functions (places 20 and 30), before the object functions (60 on).
const xll::Addin clear_status{40, xll::Proc::command("ClearStatus", "cellkit.ClearStatus")};
const xll::Addin toggle_logging{50, xll::Proc::command("ToggleLogging", "cellkit.ToggleLogging")};

// The Close actions run before the items are unregistered: the service stops before the
// functions that control it go away.
const bool stop_service_at_close = [] {
    xll::auto_actions(xll::AutoKind::Close).push_back(&qvl::addin::stop_http_service_at_close);
    return true;
}();

}  // namespace
