#include "xll/worksheet.hpp"

#include <cmath>
#include <stdexcept>
#include <utility>

namespace xll {

void set_text(xloper& out, std::string_view utf8) {
    out.str_alloc(utf8.data(), utf8.size());
}

void set_number(xloper& out, double number) {
    if (std::isfinite(number)) {
        out.free();
        out.val.num = number;
        out.xltype = xltypeNum;
    } else {
        out.str_alloc(static_cast<const XCHAR*>(nullptr), 0);
    }
}

void set_bool(xloper& out, bool value) {
    out = xloper::boolean(value);
}

void set_message(xloper& out, std::string_view utf8) noexcept {
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
    refilling_ = out_.xltype == xltypeMulti && out_.val.array.rows == rows &&
                 out_.val.array.columns == columns && rows > 0 && columns > 0;
    if (refilling_) {
        grid_ = std::move(out_);
    } else {
        out_.free();
        grid_.multi_realloc(rows, columns);
    }
    if (grid_.IsMulti()) {
        cells_ = &grid_.index(std::size_t{0});
        rows_ = rows;
        columns_ = columns;
    }
}

GridWriter::~GridWriter() {
    clear(next_, grid_.size());
    if (out_.is_nil()) {
        out_ = std::move(grid_);
    }
}

void GridWriter::clear(std::size_t first, std::size_t last) noexcept {
    if (!refilling_) {
        return;
    }
    for (std::size_t i = first; i < last; ++i) {
        try {
            cells_[i].free();
        } catch (...) {
            // Cells of our own grid never hold host memory.
        }
    }
}

void GridWriter::out_of_bounds() {
    throw std::out_of_range("Index out of bounds");
}

void GridWriter::number(int r, int c, double value) {
    const std::size_t i = slot(r, c);
    put_number(cells_[i], value);
    mark(i);
}

void GridWriter::boolean(int r, int c, bool value) {
    const std::size_t i = slot(r, c);
    set_bool(cells_[i], value);
    mark(i);
}

}  // namespace xll
