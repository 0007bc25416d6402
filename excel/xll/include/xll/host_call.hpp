#pragma once

#include <array>

#include "xll/host_api.hpp"
#include "xll/xloper.hpp"

namespace xll {

// Calls the host function xlfn with count arguments. A non-zero return code is accepted only
// with an error value as the result; anything else raises the "result.IsError()" ensure error.
// Strings, grids, flow values and big data in the result are marked xlbitXLFree, so releasing
// the result hands their memory back to the host. Without a host (no "MdCallBack12" in the main
// program) every call raises an ensure error.
xloper XlCallV(int xlfn, int count, XLOPER12** args);

template <class... Args>
xloper call_host(int xlfn, const Args&... args) {
    // The host takes the arguments by mutable pointer but does not change them.
    std::array<XLOPER12*, sizeof...(Args)> pointers{
        const_cast<XLOPER12*>(static_cast<const XLOPER12*>(&args))...};
    return XlCallV(xlfn, static_cast<int>(sizeof...(Args)), pointers.data());
}

}  // namespace xll
