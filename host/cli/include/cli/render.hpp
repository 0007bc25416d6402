#pragma once

#include <string>
#include <string_view>

#include "host/value.hpp"

namespace standin {

// What a cell shows: a number with up to 15 significant digits, a text as it is, TRUE or
// FALSE, an error as #VALUE! and the like, nothing for an empty cell.
std::string cell_text(const Value& v);

// A value for a terminal: one line for a single cell; for a grid one line per row, columns
// two blanks apart, numbers aligned right and everything else left. Ends with a line break.
std::string render_text(const Value& v);

// JSON: numbers (shortest text that reads back the same; null when not finite), strings,
// true/false, null for an empty cell, {"error":"#N/A"} for an error value, and a grid as an
// array of row arrays.
std::string render_json(const Value& v);
std::string json_string(std::string_view utf8);

}  // namespace standin
