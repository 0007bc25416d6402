#pragma once

#include <cstdint>
#include <string>

#include "xll/host_api.hpp"

namespace xll {

// Readers for any cell value, including the host's own arguments, which are plain XLOPER12s
// and never copied just to be read. Type tests mask the ownership bits off.
std::uint32_t type_of(const XLOPER12& x) noexcept;
int rows_of(const XLOPER12& x) noexcept;
int columns_of(const XLOPER12& x) noexcept;
// Number, boolean or integer as a double; throws the "IsNumeric()" ensure error otherwise.
double numeric_of(const XLOPER12& x);
bool is_numeric(const XLOPER12& x) noexcept;
// Whole numbers below 1e15 as integer digits, other numbers as "%.15g", booleans as 1 or 0,
// strings as they stand, everything else empty.
std::u16string text_of(const XLOPER12& x);
std::string utf8_of(const XLOPER12& x);

}  // namespace xll
