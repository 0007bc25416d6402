#include "host/value.hpp"

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <stdexcept>

#include "text/utf.hpp"
#include "xll/host_api.hpp"

namespace standin {

namespace {

[[noreturn]] void wrong_kind(const char* wanted, const Value& v) {
    throw std::logic_error(std::string("value is not a ") + wanted + ": " + v.describe());
}

constexpr ErrorValue error_table[] = {{"#NULL!", xlerrNull},   {"#DIV/0!", xlerrDiv0},
                                      {"#VALUE!", xlerrValue}, {"#REF!", xlerrRef},
                                      {"#NAME?", xlerrName},   {"#NUM!", xlerrNum},
                                      {"#N/A", xlerrNA},       {"#GETTING_DATA", xlerrGettingData}};

}  // namespace

std::string shortest_number_text(double d) {
    char buffer[40];
    for (int precision = 15; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, d);
        if (std::strtod(buffer, nullptr) == d) {
            break;
        }
    }
    return buffer;
}

std::span<const ErrorValue> error_values() {
    return error_table;
}

std::optional<std::string_view> error_value_text(int code) {
    for (const ErrorValue& e : error_table) {
        if (e.code == code) return e.text;
    }
    return std::nullopt;
}

Value::Value(std::string_view utf8) : v_(qvl::text::utf8_to_utf16(utf8)) {}

Value Value::grid(int rows, int columns, std::vector<Value> cells) {
    if (rows < 1 || columns < 1 ||
        cells.size() != static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns)) {
        throw std::invalid_argument("grid shape does not match its cells");
    }
    Value v;
    v.v_ = Grid{rows, columns, std::move(cells)};
    return v;
}

double Value::number() const {
    if (const auto* d = std::get_if<double>(&v_)) {
        return *d;
    }
    wrong_kind("number", *this);
}

std::string Value::text() const {
    return qvl::text::utf16_to_utf8(text16());
}

const std::u16string& Value::text16() const {
    if (const auto* s = std::get_if<std::u16string>(&v_)) {
        return *s;
    }
    wrong_kind("text", *this);
}

bool Value::boolean() const {
    if (const auto* b = std::get_if<bool>(&v_)) {
        return *b;
    }
    wrong_kind("boolean", *this);
}

int Value::error_code() const {
    if (const auto* e = std::get_if<ErrorCode>(&v_)) {
        return e->code;
    }
    wrong_kind("error", *this);
}

const Grid& Value::grid() const {
    if (const auto* g = std::get_if<Grid>(&v_)) {
        return *g;
    }
    wrong_kind("grid", *this);
}

int Value::rows() const {
    return grid().rows;
}

int Value::columns() const {
    return grid().columns;
}

const Value& Value::at(int r, int c) const {
    const Grid& g = grid();
    if (r < 0 || c < 0 || r >= g.rows || c >= g.columns) {
        throw std::out_of_range("cell outside the grid");
    }
    return g.cells[static_cast<std::size_t>(r) * static_cast<std::size_t>(g.columns) +
                   static_cast<std::size_t>(c)];
}

bool Grid::operator==(const Grid& o) const {
    return rows == o.rows && columns == o.columns && cells == o.cells;
}

bool Value::operator==(const Value& o) const {
    return v_ == o.v_;
}

std::string Value::describe() const {
    switch (kind()) {
        case Kind::nil:
            return "nil";
        case Kind::missing:
            return "missing";
        case Kind::number: {
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.17g", number());
            return buffer;
        }
        case Kind::text:
            return '"' + text() + '"';
        case Kind::boolean:
            return boolean() ? "TRUE" : "FALSE";
        case Kind::error:
            return "#error" + std::to_string(error_code());
        case Kind::grid: {
            std::string s = "{";
            const Grid& g = grid();
            for (int r = 0; r < g.rows; ++r) {
                for (int c = 0; c < g.columns; ++c) {
                    s += at(r, c).describe();
                    s += c + 1 < g.columns ? ", " : "";
                }
                s += r + 1 < g.rows ? "; " : "";
            }
            return s + "}";
        }
    }
    return "?";
}

std::ostream& operator<<(std::ostream& os, const Value& v) {
    return os << v.describe();
}

}  // namespace standin
