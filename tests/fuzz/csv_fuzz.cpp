// The CSV reader of qvl-host: splitting, typing and cutting a rectangle. The input is a CSV
// file, or "@A3:E9\n" followed by one to read that rectangle of it.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "cli/csv.hpp"
#include "fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<standin::CellRange> range;
    if (!text.empty() && text.front() == '@') {
        const std::size_t line_end = text.find('\n');
        try {
            range = standin::parse_cell_range(text.substr(1, line_end - 1));
        } catch (const std::invalid_argument&) {
            return 0;
        }
        check(range->first_row <= range->last_row && range->first_column <= range->last_column,
              "corners in order");
        text = line_end == std::string_view::npos ? std::string_view() : text.substr(line_end + 1);
    }
    standin::CsvRows rows;
    try {
        rows = standin::parse_csv(text);
    } catch (const std::runtime_error&) {
        return 0;  // an unclosed quote
    }
    standin::Value grid;
    try {
        grid = standin::csv_grid(rows, range);
    } catch (const std::runtime_error&) {
        return 0;  // no cells, or more than a range may bring in
    }
    check(grid.kind() == standin::Value::Kind::grid, "a grid");
    const int height = grid.rows();
    const int width = grid.columns();
    check(height >= 1 && width >= 1, "a grid has cells");
    if (range) {
        check(height == range->last_row - range->first_row + 1 &&
                  width == range->last_column - range->first_column + 1,
              "the rectangle's shape");
    }
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            const standin::Value& cell = grid.at(r, c);
            // A sheet holds no infinities: a number it cannot hold stays text.
            if (cell.is_number()) check(std::isfinite(cell.number()), "finite numbers");
        }
    }
    return 0;
}
