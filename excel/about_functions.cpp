// QVL.RunTests, QVL.Version and QVL.BuildDate: what the add-in says about itself.

#include "core/self_check.hpp"
#include "excel/worksheet_functions.hpp"
#include "xll/version.hpp"
#include "xll/worksheet.hpp"

XLOPER12* QVL_RunTests() {
    static xll::xloper result;
    return xll::respond(result,
                        [](xll::xloper& out) { xll::set_text(out, qvl::run_self_check()); });
}
QVL_EXPORT(RunTests);

XLOPER12* QVL_Version() {
    static xll::xloper result;
    return xll::respond(result, [](xll::xloper& out) { xll::set_text(out, xll::version_text()); });
}
QVL_EXPORT(Version);

XLOPER12* QVL_BuildDate() {
    static xll::xloper result;
    return xll::respond(result,
                        [](xll::xloper& out) { xll::set_text(out, xll::build_date_text()); });
}
QVL_EXPORT(BuildDate);
