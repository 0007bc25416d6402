#pragma once

#include <array>
#include <optional>
#include <string>

#include "xll/host_api.hpp"
#include "xll/xloper.hpp"

namespace xll {

// Calls the host function xlfn with count arguments. A non-zero return code is accepted only
// with an error value as the result; anything else raises the "result.IsError()" ensure error.
// Strings, references (their area list), grids, flow values and big data in the result are marked
// xlbitXLFree, so releasing the result hands their memory back to the host. Without a host (no
// "MdCallBack12" in the main program) every call raises an ensure error.
xloper XlCallV(int xlfn, int count, XLOPER12** args);

template <class... Args>
xloper call_host(int xlfn, const Args&... args) {
    // The host takes the arguments by mutable pointer but does not change them.
    std::array<XLOPER12*, sizeof...(Args)> pointers{
        const_cast<XLOPER12*>(static_cast<const XLOPER12*>(&args))...};
    return XlCallV(xlfn, static_cast<int>(sizeof...(Args)), pointers.data());
}

// The cell or range whose formula is being calculated, as the host names it: "[Book1]Sheet1!R2C3"
// for one cell, "[Book1]Sheet1!R2C3:R4C3" for the range of an array formula (rows and columns
// from 1); "sheet <id>" stands for the name when the host gives an id but no name. Empty when
// the caller is no cell (a macro, a command) or the host cannot say.
std::optional<std::string> calling_cell();

}  // namespace xll
