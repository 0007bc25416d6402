#pragma once

// What the parts of the stand-in host share: its own calls into the add-in (host.cpp), its
// answers to the add-in's callbacks (callbacks.cpp) and the values that cross between the two
// (marshal.cpp).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "host/host.hpp"

namespace standin {

// Half a millisecond, in days: a command scheduled for "now" is due now.
inline constexpr double clock_tolerance = 0.0005 / 86400.0;

// Readers of the values the add-in passes; a null pointer reads as absent.
std::uint32_t type_of(const XLOPER12& x);
bool is_text(const XLOPER12* x);
bool is_absent(const XLOPER12* x);
std::string text_of(const XLOPER12* x);
std::size_t length_of(const XLOPER12* x);
std::optional<double> number_of(const XLOPER12* x);

}  // namespace standin
