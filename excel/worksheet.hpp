#pragma once

// The shell every worksheet function shares. A function owns one process-wide result value,
// releases and refills it at every call and returns its address; the host copies it out before
// the next call, so nothing is handed over for freeing. Every failure becomes the result text:
// a standard exception's message, "Unknown error" for anything else. Host error values are
// never returned, and a non-finite number reaches no cell (it shows as an empty text).
//
//   XLOPER12* QVL_Something(XLOPER12* a) {
//       static xll::xloper result;
//       return xll::Respond(result, [&](xll::xloper& out) { xll::SetNumber(out, ...); });
//   }

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <type_traits>

#include "excel/host_api.hpp"
#include "excel/xloper.hpp"

namespace xll {

void SetText(xloper& out, std::string_view utf8);
void SetNumber(xloper& out, double number);
void SetBool(xloper& out, bool value);

// The result text of a failure; cut to the longest string a cell holds.
void SetMessage(xloper& out, std::string_view utf8) noexcept;

template <class Body>
XLOPER12* Respond(xloper& result, Body&& body) noexcept {
    try {
        result.free();
        body(result);
    } catch (const std::exception& e) {
        SetMessage(result, e.what());
    } catch (...) {
        SetMessage(result, "Unknown error");
    }
    return &result;
}

// Fills a rows x columns grid cell by cell (cells not written stay nil); a cell outside the
// grid is an "Index out of bounds" error.
class GridWriter {
  public:
    GridWriter(xloper& out, int rows, int columns);
    void text(int r, int c, std::string_view utf8);
    void number(int r, int c, double value);
    void boolean(int r, int c, bool value);

  private:
    xloper& cell(int r, int c);
    xloper& out_;
};

// A record with a visit_fields(record, f) overload (f(label, value), value a double or a
// text) laid out as a 2-column grid of labels and values, one row per field.
template <class Record>
void SetRecordGrid(xloper& out, const Record& record) {
    int rows = 0;
    visit_fields(record, [&](const char*, const auto&) { ++rows; });
    GridWriter grid(out, rows, 2);
    int r = 0;
    visit_fields(record, [&](const char* label, const auto& value) {
        grid.text(r, 0, label);
        if constexpr (std::is_arithmetic_v<std::decay_t<decltype(value)>>) {
            grid.number(r, 1, static_cast<double>(value));
        } else {
            grid.text(r, 1, value);
        }
        ++r;
    });
}

}  // namespace xll
