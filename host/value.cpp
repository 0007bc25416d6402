#include "host/value.hpp"

#include <cstdio>
#include <ostream>
#include <stdexcept>

namespace standin {

namespace {

void put_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

[[noreturn]] void wrong_kind(const char* wanted, const Value& v) {
    throw std::logic_error(std::string("value is not a ") + wanted + ": " + v.describe());
}

}  // namespace

std::u16string to_utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80             ? 0
                          : (lead & 0xE0) == 0xC0 ? 1
                          : (lead & 0xF0) == 0xE0 ? 2
                          : (lead & 0xF8) == 0xF0 ? 3
                                                  : -1;
        char32_t cp = extra == 0   ? lead
                      : extra == 1 ? lead & 0x1F
                      : extra == 2 ? lead & 0x0F
                                   : lead & 0x07;
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < utf8.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string to_utf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char32_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            put_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
            ++i;
        } else {
            put_utf8(out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
        }
    }
    return out;
}

Value::Value(std::string_view utf8) : v_(to_utf16(utf8)) {}

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
    return to_utf8(text16());
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
