// probe.xll: a small add-in on the same framework as qvl.xll, for testing the stand-in host and
// the cell values end to end. Some of its registrations and results break the host's rules on
// purpose.

#include <string>

#include "xll/addin.hpp"
#include "xll/export.hpp"
#include "xll/host_call.hpp"
#include "xll/worksheet.hpp"
#include "xll/xloper.hpp"

using xll::xloper;

extern "C" XLL_EXPORT XLOPER12* ProbeEcho(XLOPER12* value) {
    static xloper result;
    return xll::Respond(result, [&](xloper& out) { out = *value; });
}

// n characters, then m more appended (when m is not 0).
extern "C" XLL_EXPORT XLOPER12* ProbeText(double n, double m) {
    static xloper result;
    return xll::Respond(result, [&](xloper& out) {
        out.str_alloc(std::u16string(static_cast<std::size_t>(n), u'x').data(),
                      static_cast<std::size_t>(n));
        if (m > 0) {
            const std::u16string more(static_cast<std::size_t>(m), u'y');
            out.str_append(more.data(), more.size());
        }
    });
}

extern "C" XLL_EXPORT XLOPER12* ProbeReshape(XLOPER12* value, double rows, double columns) {
    static xloper result;
    return xll::Respond(result, [&](xloper& out) {
        out = *value;
        out.multi_realloc(static_cast<int>(rows), static_cast<int>(columns));
    });
}

extern "C" XLL_EXPORT XLOPER12* ProbeCell(XLOPER12* value, double r, double c) {
    static xloper result;
    return xll::Respond(result, [&](xloper& out) {
        const xloper copy(*value);
        out = copy.index(static_cast<int>(r), static_cast<int>(c));
    });
}

extern "C" XLL_EXPORT XLOPER12* ProbeStack(XLOPER12* top, XLOPER12* more, double side) {
    static xloper result;
    return xll::Respond(result, [&](xloper& out) {
        out = *top;
        out.push_back(*more, static_cast<xll::Side>(static_cast<int>(side)));
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
            for (int i = 1; i <= 32768; ++i) {
                long_text[i] = u'z';
            }
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

const Addin echo{Proc::Worksheet("ProbeEcho", "Probe.Echo", "Probe")
                     .Argument("Q", "value", "Any value.")
                     .Help("Returns its argument.")};
const Addin text{Proc::Worksheet("ProbeText", "Probe.Text", "Probe")
                     .Argument("B", "n", "Characters.")
                     .Argument("B", "m", "Characters appended.")
                     .Help("Builds a text.")};
const Addin reshape{Proc::Worksheet("ProbeReshape", "Probe.Reshape", "Probe")
                        .Argument("Q", "value", "Any value.")
                        .Argument("B", "rows", "Rows.")
                        .Argument("B", "columns", "Columns.")};
const Addin cell{Proc::Worksheet("ProbeCell", "Probe.Cell", "Probe")
                     .Argument("Q", "value", "Any value.")
                     .Argument("B", "r", "Row.")
                     .Argument("B", "c", "Column.")};
const Addin stack{Proc::Worksheet("ProbeStack", "Probe.Stack", "Probe")
                      .Argument("Q", "top", "Any value.")
                      .Argument("Q", "more", "Any value.")
                      .Argument("B", "side", "0 below, 1 to the right.")};
const Addin misbehave{Proc::Worksheet("ProbeMisbehave", "Probe.Misbehave", "Probe")
                          .Argument("B", "mode", "What to break.")};
const Addin cancel{Proc::Command("ProbeCancel", "Probe.Cancel")};
// A help text of 256 characters.
const Addin too_long{Proc::Worksheet("ProbeEcho", "Probe.TooLong", "Probe")
                         .Argument("Q", "value", std::string(256, 'h'))};
const Addin missing_export{Proc::Worksheet("ProbeNowhere", "Probe.Nowhere", "Probe")};

// Registered by hand: the argument text names one argument, the type text two.
const bool mismatch = [] {
    xll::AutoActions(xll::AutoKind::Open).push_back([] {
        const xloper module = xll::call_host(xlGetName);
        xll::call_host(xlfRegister, module, xloper("ProbeEcho"), xloper("UQQ"),
                       xloper("Probe.Mismatch"), xloper("value"), xloper(1.0));
        return 1;
    });
    return true;
}();

}  // namespace
