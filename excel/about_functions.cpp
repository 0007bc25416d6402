// QVL.RunTests, QVL.Version and QVL.BuildDate: what the add-in says about itself.

#include "core/self_check.hpp"
#include "excel/worksheet_functions.hpp"
#include "xll/version.hpp"
#include "xll/worksheet.hpp"

QVL_FUNCTION(RunTests, 10,
             "Run QVL calculator unit tests. Returns 'ok' or the error message on failure.", ()) {
    static xll::xloper result;
    return xll::respond(result,
                        [](xll::xloper& out) { xll::set_text(out, qvl::run_self_check()); });
}

QVL_FUNCTION(Version, 280, "Return the QVL add-in version string.", ()) {
    static xll::xloper result;
    return xll::respond(result, [](xll::xloper& out) { xll::set_text(out, xll::version_text()); });
}

QVL_FUNCTION(BuildDate, 290, "Return the date and time this add-in was compiled.", ()) {
    static xll::xloper result;
    return xll::respond(result,
                        [](xll::xloper& out) { xll::set_text(out, xll::build_date_text()); });
}
