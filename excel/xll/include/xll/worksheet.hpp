#pragma once

// The shell every worksheet function shares. A function owns one process-wide result value,
// refills it at every call and returns its address; the host copies it out before the next
// call, so nothing is handed over for freeing. The body always writes the whole result (set_text,
// set_number, set_bool, a GridWriter or set_record_grid): what the previous call left is released
// as it is overwritten, and its buffers serve again where the new value fits them. Every failure
// becomes the result text: a standard exception's message, "Unknown error" for anything else.
// Host error values are never returned, and a non-finite number reaches no cell (it shows as an
// empty text).
//
//   XLOPER12* Something(XLOPER12* a) {
//       static xll::xloper result;
//       return xll::respond(result, [&](xll::xloper& out) { xll::set_number(out, ...); });
//   }

#include <cmath>
#include <cstddef>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "text/text_error.hpp"
#include "xll/host_api.hpp"
#include "xll/xloper.hpp"

namespace xll {

void set_text(xloper& out, std::string_view utf8);
void set_number(xloper& out, double number);
void set_bool(xloper& out, bool value);

// The result text of a failure; cut to the longest string a cell holds.
void set_message(xloper& out, std::string_view utf8) noexcept;

template <class Body>
XLOPER12* respond(xloper& result, Body&& body) noexcept {
    try {
        body(result);
    } catch (const std::exception& e) {
        set_message(result, qvl::text::message_of(e));
    } catch (...) {
        set_message(result, "Unknown error");
    }
    return &result;
}

// Fills a rows x columns grid cell by cell (cells not written end up nil); a cell outside the
// grid is an "Index out of bounds" error. The grid is the writer's own while it is being filled
// and goes into out when the writer goes (unless the body has written something else there
// meanwhile, which then stands). When out already holds a grid of that shape (the previous
// result of the same function) that grid is refilled in place: a text of the same length as the
// one in its cell reuses that buffer, so a table whose texts keep their lengths from call to
// call is written without a single allocation. Cells are best written in row-major order; a
// cell passed over is cleared at once.
class GridWriter {
  public:
    GridWriter(xloper& out, int rows, int columns);
    ~GridWriter();
    GridWriter(const GridWriter&) = delete;
    GridWriter& operator=(const GridWriter&) = delete;

    void text(int r, int c, std::string_view utf8) {
        const std::size_t i = slot(r, c);
        cells_[i].str_alloc(utf8.data(), utf8.size());
        mark(i);
    }
    void number(int r, int c, double value);
    // values.size() numbers along row r from column c on.
    void numbers(int r, int c, std::span<const double> values) {
        const std::size_t first = slot(r, c);
        if (values.size() > static_cast<std::size_t>(columns_ - c)) {
            out_of_bounds();
        }
        xloper* const cells = cells_ + first;
        for (std::size_t k = 0; k < values.size(); ++k) {
            put_number(cells[k], values[k]);
        }
        mark(first, values.size());
    }
    void boolean(int r, int c, bool value);

  private:
    // Small and inline: a table of some hundreds of cells spends most of its time here.
    std::size_t slot(int r, int c) const {
        if (static_cast<unsigned>(r) >= static_cast<unsigned>(rows_) ||
            static_cast<unsigned>(c) >= static_cast<unsigned>(columns_)) {
            out_of_bounds();
        }
        return static_cast<std::size_t>(r) * static_cast<std::size_t>(columns_) +
               static_cast<std::size_t>(c);
    }
    // Called once cells [i, i + n) are written, so that a write that fails leaves its cell to be
    // cleared. Cells before next_ are settled: written in this fill, or passed over and cleared.
    void mark(std::size_t i, std::size_t n = 1) {
        if (i > next_) clear(next_, i);
        if (i + n > next_) next_ = i + n;
    }
    static void put_number(xloper& cell, double value) {
        if (std::isfinite(value) && (cell.xltype & (xlbitXLFree | xltypeStr | xltypeMulti)) == 0) {
            cell.val.num = value;  // nothing to release
            cell.xltype = xltypeNum;
        } else {
            set_number(cell, value);
        }
    }
    [[noreturn]] static void out_of_bounds();
    // Clears cells [first, last) of a refilled grid; a fresh grid's are nil already.
    void clear(std::size_t first, std::size_t last) noexcept;

    xloper& out_;
    xloper grid_;
    xloper* cells_ = nullptr;
    int rows_ = 0;
    int columns_ = 0;
    bool refilling_ = false;
    std::size_t next_ = 0;
};

// A record with a visit_fields(record, f) overload (f(label, value), value a double, an
// optional double or a text) laid out as a 2-column grid of labels and values, one row per
// field. An empty optional, a value that could not be computed, shows as an empty text.
template <class Record>
void set_record_grid(xloper& out, const Record& record) {
    int rows = 0;
    visit_fields(record, [&](const char*, const auto&) { ++rows; });
    GridWriter grid(out, rows, 2);
    int r = 0;
    visit_fields(record, [&](const char* label, const auto& value) {
        using Value = std::decay_t<decltype(value)>;
        grid.text(r, 0, label);
        if constexpr (std::is_arithmetic_v<Value>) {
            grid.number(r, 1, static_cast<double>(value));
        } else if constexpr (std::is_same_v<Value, std::optional<double>>) {
            if (value) {
                grid.number(r, 1, *value);
            } else {
                grid.text(r, 1, "");
            }
        } else {
            grid.text(r, 1, value);
        }
        ++r;
    });
}

}  // namespace xll
