#pragma once

// A workbook (.xlsx) as the spreadsheet host writes it, read for recalculation: every sheet's
// cell values and formulas, and the defined names. Only what recalculating and listing need is
// kept; writing a copy goes back to the file for the rest.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/value.hpp"

namespace standin::workbook {

// A file that cannot be read as a workbook; the message names the file and what is wrong.
class BadFile : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The caps on what one file may make us hold.
inline constexpr std::uint64_t largest_expansion = 256ull << 20;  // bytes of all parts read
inline constexpr std::uint64_t most_array_cells = 1ull << 22;     // cells of all array ranges

// A rectangle on one sheet (index in tab order), rows and columns 0-based and inclusive.
struct Area {
    int sheet = 0;
    std::int32_t first_row = 0, first_column = 0, last_row = 0, last_column = 0;
    std::uint64_t cells() const {
        return static_cast<std::uint64_t>(last_row - first_row + 1) *
               static_cast<std::uint64_t>(last_column - first_column + 1);
    }
    bool contains(std::int32_t row, std::int32_t column) const {
        return row >= first_row && row <= last_row && column >= first_column &&
               column <= last_column;
    }
};

// A cell's place as one sortable number: rows first, then columns.
inline std::uint64_t cell_key(std::int32_t row, std::int32_t column) {
    return (static_cast<std::uint64_t>(row) << 14) | static_cast<std::uint64_t>(column);
}
inline std::int32_t key_row(std::uint64_t key) {
    return static_cast<std::int32_t>(key >> 14);
}
inline std::int32_t key_column(std::uint64_t key) {
    return static_cast<std::int32_t>(key & 0x3FFF);
}

struct Formula {
    std::int32_t row = 0, column = 0;    // its cell, the top-left one of an array range
    std::int32_t rows = 1, columns = 1;  // the array range
    bool array = false;                  // an array formula (also one that spills)
    std::string text;  // as the host shows it, without "=" and without "_xll." prefixes
};

struct StoredCell {
    std::uint64_t key;
    Value value;
};

struct Sheet {
    std::string name;
    std::string part;               // its zip entry; empty for a sheet without cells
    std::vector<StoredCell> cells;  // sorted by key; empty cells are absent
    std::vector<Formula> formulas;  // sorted by cell

    // The stored value (nil for an empty cell).
    const Value& value(std::int32_t row, std::int32_t column) const;
};

struct DefinedName {
    std::string name;
    int scope = -1;            // the sheet it belongs to, or -1 for the workbook
    std::optional<Area> area;  // what it names, when that is one cell or rectangle
    std::string text;          // as written
};

struct Workbook {
    std::string path;       // as given
    std::string file_name;  // its last part, for the host's "[Book.xlsx]Sheet" names
    std::string workbook_part;
    std::vector<Sheet> sheets;
    std::vector<DefinedName> names;

    // The sheet of that name, in any case, or -1.
    int find_sheet(std::string_view name) const;
    // A name seen from a sheet: the sheet's own first, then the workbook's; any case.
    const DefinedName* find_name(std::string_view name, int sheet) const;
};

// Reads a workbook file. Throws BadFile naming the file: not a zip, no workbook part, a sheet
// part missing, XML that does not parse, parts expanding beyond largest_expansion, a formula
// longer than the host allows, a reference beyond XFD1048576.
Workbook read_workbook(const std::string& path);

// A zip file whose parts are read whole, all parts read together at most largest_expansion
// bytes however small the zip's own figures say they are. Throws BadFile naming the file.
class Package {
  public:
    explicit Package(const std::string& path);
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    bool has(const std::string& part) const;
    // The part's bytes; throws BadFile when it is missing or expands beyond the budget left.
    std::string read(const std::string& part);

  private:
    std::string path_;
    void* zip_;
    std::uint64_t expanded_ = 0;
};

// Folder-relative part names: "xl/worksheets/sheet1.xml" from "xl/workbook.xml" and
// "worksheets/sheet1.xml", "/xl/x.xml" as it stands, ".." taken out.
std::string resolve_part(std::string_view from_part, std::string_view target);

// A cell's place as its r attribute writes it ("B7"); false when it is none. Throws BadFile
// (the message starting with where) for one beyond XFD1048576.
bool read_cell_name(std::string_view s, std::int32_t& row, std::int32_t& column,
                    const std::string& where);

// The host's error codes and their texts (#N/A, ...); unknown texts give #VALUE!.
int error_code_of(std::string_view text);
std::string error_text_of(int code);

}  // namespace standin::workbook
