#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/value.hpp"

namespace standin {

// One field of a CSV file as written, before it is typed.
struct CsvField {
    std::string text;
    bool quoted = false;
};

using CsvRows = std::vector<std::vector<CsvField>>;

// Splits CSV text into rows of fields (comma-separated, double quotes around fields that hold
// commas, quotes or line breaks, a doubled quote inside them; LF or CRLF line ends; a UTF-8
// byte-order mark is skipped). Throws std::runtime_error on an unterminated quote.
CsvRows parse_csv(std::string_view text);

// The value a sheet gives a typed-in field: blank is nil, a decimal number is a number, TRUE
// and FALSE (any case) are booleans, anything else is text. A quoted field stays text.
Value type_field(const CsvField& field);

// A rectangle of cells in sheet notation, 0-based and inclusive.
struct CellRange {
    int first_row = 0;
    int first_column = 0;
    int last_row = 0;
    int last_column = 0;
};

// "A3:E9" or a single cell "B2" (column letters in any case). Throws std::invalid_argument.
CellRange parse_cell_range(std::string_view text);

// The rows as a grid of typed cells: the whole file (short rows padded with nil), or the given
// rectangle, where cells beyond the file's data are nil as on a sheet. Throws
// std::runtime_error for a file without cells.
Value csv_grid(const CsvRows& rows, const std::optional<CellRange>& range);

// Reads and types a CSV file. Throws std::runtime_error naming the file when it cannot be read.
Value read_csv(const std::string& path, const std::optional<CellRange>& range);

}  // namespace standin
