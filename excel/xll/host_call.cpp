#include "xll/host_call.hpp"

#include "xll/ensure.hpp"
#include "xll/platform.hpp"

namespace xll {

xloper XlCallV(int xlfn, int count, XLOPER12** args) {
    static const HostCallback host_callback = platform::find_host_callback();
    XLL_ENSURE("xll::XlCallV", host_callback != nullptr);
    xloper result;
    const int code = host_callback(xlfn, count, args, &result);
    switch (result.type()) {
        case xltypeStr:
        case xltypeMulti:
        case xltypeFlow:
        case xltypeBigData:
            // Host memory, given back through xlFree when the result is released.
            result.xltype |= xlbitXLFree;
            break;
        default:
            break;
    }
    if (code != xlret_success) {
        XLL_ENSURE("xll::XlCallV", result.IsError());
    }
    return result;
}

}  // namespace xll
