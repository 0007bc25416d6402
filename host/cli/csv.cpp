#include "cli/csv.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace standin {

namespace {

// The sheet's own limits, and a bound on the cells one range may bring into memory.
constexpr int max_rows = 1048576;
constexpr int max_columns = 16384;
constexpr long long max_cells = 1000000;

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// Plain decimal notation only: no hexadecimal, infinities or NaN, which strtod would take.
bool is_decimal(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            ++i;
        }
        if (i == start) {
            return false;
        }
    }
    return i == s.size();
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

CsvRows parse_csv(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    CsvRows rows;
    std::vector<CsvField> row;
    CsvField field;
    bool in_quotes = false;
    bool row_started = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_quotes) {
            if (c != '"') {
                field.text += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field.text += '"';
                ++i;
            } else {
                in_quotes = false;
            }
            continue;
        }
        row_started = true;
        switch (c) {
            case '"':
                in_quotes = true;
                field.quoted = true;
                break;
            case ',':
                row.push_back(std::move(field));
                field = CsvField{};
                break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n') {
                    break;
                }
                [[fallthrough]];
            case '\n':
                row.push_back(std::move(field));
                field = CsvField{};
                rows.push_back(std::move(row));
                row.clear();
                row_started = false;
                break;
            default:
                field.text += c;
        }
    }
    if (in_quotes) {
        throw std::runtime_error("CSV: a quoted field is not closed");
    }
    if (row_started) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

Value type_field(const CsvField& field) {
    if (field.quoted) {
        return Value(field.text);
    }
    const std::string_view t = trim_blanks(field.text);
    if (t.empty()) {
        return Value();
    }
    if (is_decimal(t)) {
        // A number beyond the largest a cell holds stays text, as a sheet keeps it.
        const double number = std::strtod(std::string(t).c_str(), nullptr);
        if (std::isfinite(number)) {
            return Value(number);
        }
        return Value(field.text);
    }
    if (equals_ignoring_case(t, "TRUE")) {
        return Value::boolean(true);
    }
    if (equals_ignoring_case(t, "FALSE")) {
        return Value::boolean(false);
    }
    return Value(field.text);
}

CellRange parse_cell_range(std::string_view text) {
    const auto bad = [&]() {
        return std::invalid_argument("not a cell range: \"" + std::string(text) +
                                     "\" (write it as A3:E9)");
    };
    const auto cell = [&](std::string_view s, int& row, int& column) {
        std::size_t i = 0;
        long long col = 0;
        while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) {
            col = col * 26 + (std::toupper(static_cast<unsigned char>(s[i])) - 'A' + 1);
            if (col > max_columns) {
                throw bad();
            }
            ++i;
        }
        const std::size_t digits_from = i;
        long long r = 0;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            r = r * 10 + (s[i] - '0');
            if (r > max_rows) {
                throw bad();
            }
            ++i;
        }
        if (col == 0 || i == digits_from || i != s.size() || r == 0) {
            throw bad();
        }
        row = static_cast<int>(r - 1);
        column = static_cast<int>(col - 1);
    };
    const std::string_view t = trim_blanks(text);
    const std::size_t colon = t.find(':');
    CellRange range;
    cell(t.substr(0, colon), range.first_row, range.first_column);
    if (colon == std::string_view::npos) {
        range.last_row = range.first_row;
        range.last_column = range.first_column;
    } else {
        cell(t.substr(colon + 1), range.last_row, range.last_column);
    }
    // A sheet accepts the corners in either order.
    if (range.first_row > range.last_row) {
        std::swap(range.first_row, range.last_row);
    }
    if (range.first_column > range.last_column) {
        std::swap(range.first_column, range.last_column);
    }
    return range;
}

Value csv_grid(const CsvRows& rows, const std::optional<CellRange>& range) {
    CellRange r;
    if (range) {
        r = *range;
    } else {
        std::size_t widest = 0;
        for (const auto& row : rows) {
            widest = std::max(widest, row.size());
        }
        if (rows.empty() || widest == 0) {
            throw std::runtime_error("the CSV file holds no cells");
        }
        if (rows.size() > static_cast<std::size_t>(max_rows) ||
            widest > static_cast<std::size_t>(max_columns)) {
            throw std::runtime_error("the CSV file is larger than a sheet");
        }
        r.last_row = static_cast<int>(rows.size()) - 1;
        r.last_column = static_cast<int>(widest) - 1;
    }
    const long long height = r.last_row - r.first_row + 1;
    const long long width = r.last_column - r.first_column + 1;
    if (height * width > max_cells) {
        throw std::runtime_error("the range has more than " + std::to_string(max_cells) + " cells");
    }
    std::vector<Value> cells;
    cells.reserve(static_cast<std::size_t>(height * width));
    for (int i = r.first_row; i <= r.last_row; ++i) {
        for (int j = r.first_column; j <= r.last_column; ++j) {
            const auto ri = static_cast<std::size_t>(i);
            const auto cj = static_cast<std::size_t>(j);
            if (ri < rows.size() && cj < rows[ri].size()) {
                cells.push_back(type_field(rows[ri][cj]));
            } else {
                cells.emplace_back();
            }
        }
    }
    return Value::grid(static_cast<int>(height), static_cast<int>(width), std::move(cells));
}

Value read_csv(const std::string& path, const std::optional<CellRange>& range) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    try {
        return csv_grid(parse_csv(text.str()), range);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
}

}  // namespace standin
