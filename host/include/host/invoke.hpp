#pragma once

#include <cstddef>

#include "xll/host_api.hpp"

namespace standin {

// The most arguments the stand-in host passes to one function.
inline constexpr std::size_t max_arguments = 8;

// One argument, as the function's type code wants it: a value ("Q", "U") or a double ("B").
struct Slot {
    XLOPER12* p = nullptr;
    double d = 0;
};

// Calls entry with the arguments laid out by codes (one 'B', 'Q' or 'U' per argument, at most
// max_arguments), through the matching C signature.
XLOPER12* invoke_xloper(void* entry, const char* codes, const Slot* slots);
double invoke_double(void* entry, const char* codes, const Slot* slots);

}  // namespace standin
