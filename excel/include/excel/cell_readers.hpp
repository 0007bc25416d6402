#pragma once

// How the worksheet functions read one cell: as a date, a text, a number, a switch, a count of
// business days or a credit event rate. The readers that fail throw std::runtime_error with the
// message the user sees. The tables are read in range_readers.hpp, the cached objects a cell
// names in object_arguments.hpp.

#include <cstdint>
#include <optional>
#include <string>

#include "core/date.hpp"
#include "core/tables.hpp"
#include "xll/host_api.hpp"

namespace qvl::addin {

// A cell as a date: a non-negative number is a date serial (the time of day dropped), a
// non-empty text goes through parse_date, an empty text and every other kind of value (negative
// numbers, booleans, integers, errors, missing, nil, grids) give invalid_date. A text that
// holds numbers where the fields stand but names no day gives invalid_date too, so that each
// caller answers it with its own message; the reading errors of texts without such numbers
// ("invalid stoi argument", "invalid string position") travel on.
Date DateFromCell(const XLOPER12& cell);

// A cell value as the core's table cell: a text, a number (integers too), a logical, or empty
// for every other kind of value.
TableCell table_cell(const XLOPER12& cell);

// A date cell of a table (the core's table_date): as DateFromCell, except that a text that names
// no day fails with its reading error.
Date table_date(const XLOPER12& cell);

// DateFromCell, failing with "Invalid trade date" for a cell that holds no date.
Date trade_date_argument(const XLOPER12& cell);
// DateFromCell, failing with "Invalid date"; the cell as the host hands it over.
Date date_argument(const XLOPER12* cell);

// The UTF-8 text of a cell: strings as they stand, whole numbers below 1e15 as integer digits,
// other numbers as "%.15g", booleans as 1 or 0, everything else empty.
std::string cell_text(const XLOPER12& cell);

// A yes/no switch: a logical value, or a number that is yes unless 0; fallback for any other kind
// of value (a missing argument among them).
bool switch_argument(const XLOPER12& cell, bool fallback);

// A numeric cell's value, or fallback for any other kind of value.
double number_argument(const XLOPER12& cell, double fallback);

// A credit event rate that defaults to the rate the swap holds: the cell's number, or nullopt
// (the held rate) for anything but a usable number (a missing argument, a text, NaN).
std::optional<double> held_rate_argument(const XLOPER12& cell);

// The business days QVL.RollToFollowingBD advances by: a number's integer part, at most 100,000
// either way ("Invalid roll_days" beyond), or the default for any other kind of value.
std::int32_t roll_days_argument(const XLOPER12* cell);

}  // namespace qvl::addin
