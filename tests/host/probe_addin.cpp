// probe.xll: a small add-in on the same framework as qvl.xll, for testing the stand-in host and
// the cell values end to end. Some of its registrations and results break the host's rules on
// purpose.

#include <algorithm>
#include <string>

#include "xll/addin.hpp"
#include "xll/export.hpp"
#include "xll/host_call.hpp"
#include "xll/worksheet.hpp"
#include "xll/xloper.hpp"

using xll::xloper;

extern "C" XLL_EXPORT XLOPER12* ProbeEcho(XLOPER12* value) {
    static xloper result;
    return xll::respond(result, [&](xloper& out) { out = *value; });
}

// n characters.
extern "C" XLL_EXPORT XLOPER12* ProbeText(double n) {
    static xloper result;
    return xll::respond(result, [&](xloper& out) {
        out.str_alloc(std::u16string(static_cast<std::size_t>(n), u'x').data(),
                      static_cast<std::size_t>(n));
    });
}

// Results a host must not be handed (1 to 3) and one it must hand back (4).
extern "C" XLL_EXPORT XLOPER12* ProbeMisbehave(double mode) {
    static XLOPER12 raw;
    static XCHAR long_text[32770];
    switch (static_cast<int>(mode)) {
        case 1:
            return nullptr;
        case 2:
            raw.val.num = 1;
            raw.xltype = xltypeNum | xlbitXLFree;
            return &raw;
        case 3:
            long_text[0] = 32768;
            std::fill_n(long_text + 1, 32768, u'z');
            raw.val.str = long_text;
            raw.xltype = xltypeStr;
            return &raw;
        default: {
            auto* handed = new xloper("handed over");
            handed->xltype |= xlbitDLLFree;
            return handed;
        }
    }
}

// Withdraws a load-message timer that falls due right now.
extern "C" XLL_EXPORT int ProbeCancel() {
    try {
        xll::SetupCallback(u"cellkit.ClearStatus", 0);
        return 1;
    } catch (...) {
        return 0;
    }
}

namespace {

using xll::Addin;
using xll::Proc;

// Declared as the add-in's functions are: type codes from the signatures.
const Addin echo{1, xll::worksheet_record(&ProbeEcho, "ProbeEcho", "Probe.Echo", "Probe", false,
                                          "Returns its argument.", {{{"value", "Any value."}}})};
const Addin text{2, xll::worksheet_record(&ProbeText, "ProbeText", "Probe.Text", "Probe", false,
                                          "Builds a text.", {{{"n", "Characters."}}})};
const Addin misbehave{3, xll::worksheet_record(&ProbeMisbehave, "ProbeMisbehave", "Probe.Misbehave",
                                               "Probe", false, "", {{{"mode", "What to break."}}})};
const Addin cancel{4, Proc::command("ProbeCancel", "Probe.Cancel")};
// A help text of 256 characters.
const Addin too_long{5, Proc::worksheet("ProbeEcho", "Probe.TooLong", "Probe")
                            .argument("Q", "value", std::string(256, 'h'))};
const Addin missing_export{6, Proc::worksheet("ProbeNowhere", "Probe.Nowhere", "Probe")};

// Registered by hand: the argument text names one argument, the type text two.
const bool mismatch = [] {
    xll::auto_actions(xll::AutoKind::Open).push_back([] {
        const xloper module = xll::call_host(xlGetName);
        xll::call_host(xlfRegister, module, xloper("ProbeEcho"), xloper("UQQ"),
                       xloper("Probe.Mismatch"), xloper("value"), xloper(1.0));
        return 1;
    });
    return true;
}();

}  // namespace
