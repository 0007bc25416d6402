// The functions the host calls by name: the add-in's entry points and the framework's two
// commands. None lets an exception reach the host.

#include <exception>
#include <string>

#include "xll/addin.hpp"
#include "xll/export.hpp"
#include "xll/host_call.hpp"
#include "xll/log.hpp"
#include "xll/platform.hpp"
#include "xll/xloper.hpp"

namespace xll {

void SetupCallback(const std::u16string& command, double seconds) {
    const xloper now = call_host(xlfNow);
    if (now.IsError()) {
        LogLine("SetupCallback: xlfNow failed");
        return;
    }
    const xloper when(now.as_number() + seconds / 86400.0);
    const xloper name(command);
    if (seconds != 0) {
        if (call_host(xlcOnTime, when, name).IsError()) {
            LogLine("SetupCallback: xlcOnTime failed");
        }
    } else {
        if (call_host(xlcOnTime, when, name, False, False).IsError()) {
            LogLine("SetupCallback: xlcOnTime cancel failed");
        }
    }
}

}  // namespace xll

using xll::Addin;
using xll::AutoKind;
using xll::LogLine;

extern "C" XLL_EXPORT int xlAutoOpen() {
    try {
        LogLine("xlAutoOpen: begin");
        int result = Addin::RunAutoMacros(AutoKind::OpenBefore, "xll::xlAutoOpen");
        if (!result) {
            LogLine("xlAutoOpen: OpenBefore failed");
            return result;
        }
        result = Addin::RunAutoMacros(AutoKind::Open, "xll::xlAutoOpen");
        if (!result) {
            LogLine("xlAutoOpen: Open failed");
            return result;
        }
        result = Addin::RunAutoMacros(AutoKind::OpenAfter, "xll::xlAutoOpen");
        // The load message and its timer are a courtesy: a host that refuses them must not
        // make the add-in fail to open.
        try {
            const xll::xloper text(xll::module_name() + u" addin is loaded");
            xll::call_host(xlcMessage, xll::True, text);
            xll::SetupCallback(u"cellkit.ClearStatus", 6);
        } catch (const std::exception& e) {
            LogLine(std::string("xlAutoOpen: load message failed: ") + e.what());
        }
        LogLine("xlAutoOpen: end");
        return result;
    } catch (...) {
        return 0;
    }
}

extern "C" XLL_EXPORT int xlAutoClose() {
    try {
        LogLine("xlAutoClose: begin");
        const int result = Addin::RunAutoMacros(AutoKind::Close, "xll::xlAutoClose");
        LogLine("xlAutoClose: end");
        return result;
    } catch (...) {
        return 0;
    }
}

extern "C" XLL_EXPORT int xlAutoAdd() {
    try {
        LogLine("xlAutoAdd");
        return Addin::RunAutoMacros(AutoKind::Add, "xll::xlAutoAdd");
    } catch (...) {
        return 0;
    }
}

extern "C" XLL_EXPORT int xlAutoRemove() {
    try {
        LogLine("xlAutoRemove");
        return Addin::RunAutoMacros(AutoKind::Remove, "xll::xlAutoRemove");
    } catch (...) {
        return 0;
    }
}

extern "C" XLL_EXPORT XLOPER12* xlAutoRegister12(XLOPER12* name) {
    static xll::xloper result;
    try {
        LogLine("xlAutoRegister12");
        result = name ? xll::xloper(*name) : xll::xloper();
    } catch (...) {
        result = xll::xloper::error(xlerrValue);
    }
    return &result;
}

extern "C" XLL_EXPORT void xlAutoFree12(XLOPER12* value) {
    try {
        LogLine("xlAutoFree12");
        if (value == nullptr) {
            return;
        }
        if (value->xltype & xlbitDLLFree) {
            // Only values the add-in made with new carry this bit.
            value->xltype &= ~xlbitDLLFree;
            delete static_cast<xll::xloper*>(value);
        } else if (value->xltype & xlbitXLFree) {
            xll::XlCallV(xlFree, 1, &value);
        }
    } catch (...) {
    }
}

extern "C" XLL_EXPORT int ClearStatus() {
    try {
        xll::call_host(xlcMessage, xll::False);
        return 1;
    } catch (...) {
        return 0;
    }
}

extern "C" XLL_EXPORT int ToggleLogging() {
    xll::toggle_logging_switch();
    return 1;
}
