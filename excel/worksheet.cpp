#include "excel/worksheet.hpp"

#include <cmath>
#include <stdexcept>

namespace xll {

namespace {

void set_number(xloper& cell, double number) {
    if (std::isfinite(number)) {
        cell = xloper(number);
    } else {
        cell.str_alloc(static_cast<const XCHAR*>(nullptr), 0);
    }
}

}  // namespace

void SetText(xloper& out, std::string_view utf8) {
    out.str_alloc(utf8.data(), utf8.size());
}

void SetNumber(xloper& out, double number) {
    set_number(out, number);
}

void SetBool(xloper& out, bool value) {
    out = xloper::boolean(value);
}

void SetMessage(xloper& out, std::string_view utf8) noexcept {
    try {
        std::size_t n = utf8.size();
        if (n > static_cast<std::size_t>(charmax)) {
            // charmax bytes of UTF-8 never exceed charmax UTF-16 units; cut between characters.
            n = charmax;
            while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) {
                --n;
            }
        }
        out.str_alloc(utf8.data(), n);
    } catch (...) {
        out = xloper();
    }
}

GridWriter::GridWriter(xloper& out, int rows, int columns) : out_(out) {
    out_.free();
    out_.multi_realloc(rows, columns);
}

xloper& GridWriter::cell(int r, int c) {
    if (r < 0 || c < 0 || r >= out_.rows() || c >= out_.columns()) {
        throw std::out_of_range("Index out of bounds");
    }
    return out_.index(r, c);
}

void GridWriter::text(int r, int c, std::string_view utf8) {
    cell(r, c).str_alloc(utf8.data(), utf8.size());
}

void GridWriter::number(int r, int c, double value) {
    set_number(cell(r, c), value);
}

void GridWriter::boolean(int r, int c, bool value) {
    cell(r, c) = xloper::boolean(value);
}

}  // namespace xll
