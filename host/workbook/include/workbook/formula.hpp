#pragma once

// Formula texts as a workbook stores them (A1 style, no leading "="): the tokens every formula
// is made of, the shifting of shared formulas, and the reader of the one form recalculated
// here, a call of registered functions whose arguments are literals, references, names and
// nested calls.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace standin::workbook {

// The sheet's bounds, 0-based in what follows: rows 0..1048575, columns 0..16383 (XFD).
inline constexpr std::int32_t row_count = 1048576;
inline constexpr std::int32_t column_count = 16384;
// The longest formula the host keeps, in characters.
inline constexpr std::size_t longest_formula = 8192;

// A reference as written: a cell, a rectangle, whole columns (A:B) or whole rows (3:5), with
// the sheet named in front of it, if any. Rows and columns count from 0; the absolute marks
// ($) keep a part in place when a shared formula is shifted.
struct Reference {
    enum class Form { cell, area, columns, rows };
    Form form = Form::cell;
    std::string sheet;  // unquoted; empty when the reference names none
    std::int32_t first_row = 0, first_column = 0, last_row = 0, last_column = 0;
    bool absolute_first_row = false, absolute_first_column = false;
    bool absolute_last_row = false, absolute_last_column = false;
};

struct Token {
    enum class Kind {
        number,
        text,
        boolean,
        error,
        reference,
        name,      // a defined name, possibly with a sheet (Book!TradeDate)
        function,  // a name directly followed by "("
        external,  // a reference into another workbook ([1]Sheet!A1) or a structured one
        open,      // (
        close,     // )
        comma,
        other,  // every other operator or punctuation character
    };
    Kind kind = Kind::other;
    std::size_t begin = 0, end = 0;  // bytes of the formula text
    std::size_t cells = 0;           // where a reference's cells start, after its sheet
    double number = 0;
    bool boolean = false;
    int error = 0;        // the host's error code of an error literal
    std::string text;     // a text's content, a name (without its sheet) or a function name
    Reference reference;  // for reference; for name only its sheet
};

// A formula that breaks the token rules: an unterminated text, a character no formula holds.
// offset is in bytes of the formula text.
class FormulaError : public std::runtime_error {
  public:
    FormulaError(std::size_t offset, const std::string& message)
        : std::runtime_error(message), offset_(offset) {}
    std::size_t offset() const { return offset_; }

  private:
    std::size_t offset_;
};

// A reference beyond XFD1048576, which the host never writes: the file is broken.
class BeyondLastCell : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The tokens of a formula; blanks between them are skipped. Throws FormulaError and
// BeyondLastCell.
std::vector<Token> tokenize(std::string_view formula);

// The formula as the host shows it: without the "_xll." it stores in front of add-in
// function names. A formula that does not tokenize, with or without them, comes back
// unchanged. Throws BeyondLastCell.
std::string without_addin_prefix(std::string_view formula);

// A shared formula's text for a cell rows and columns away from the first cell: each relative
// row and column moves, absolute ones stay; a reference moved off the sheet becomes #REF!.
std::string shift_formula(std::string_view formula, std::int32_t rows, std::int32_t columns);

// "A1", "$B$7", "Book!B7:C21", "'Market data'!A3:B20" (quoting the sheet where needed).
std::string reference_text(const Reference& r);
std::string cells_text(const Reference& r);  // without the sheet
std::string quoted_sheet(std::string_view sheet);
std::string column_letters(std::int32_t column);

// One argument of a recalculated call, or the call itself.
struct Node {
    enum class Kind { missing, number, text, boolean, error, reference, name, call };
    Kind kind = Kind::missing;
    double number = 0;
    bool boolean = false;
    int error = 0;
    std::string text;     // a text, a name, or a call's function name as written
    Reference reference;  // for reference; for a name only its sheet
    int sheet = -1;       // the sheet a reference is on, once the planner has resolved it
    std::vector<Node> args;
    std::size_t offset = 0;  // where it starts, in bytes of the formula text
};

// A formula this reader does not take: what, and where (bytes of the formula text).
struct Unreadable {
    std::size_t offset = 0;
    std::string message;
};

// Reads a formula that is one call: Function(arg, ...), where an argument is a number (with a
// unary minus), a text, TRUE or FALSE, an error literal, nothing (a missing argument), a
// reference to a cell or rectangle, a defined name or another call; calls nest at most 64
// deep and take at most 255 arguments. Gives false and says why in *why when the formula has
// another form.
bool read_call(std::string_view formula, Node& call, Unreadable& why);

// The 1-based character column of a byte offset in a UTF-8 text.
int character_column(std::string_view text, std::size_t offset);

}  // namespace standin::workbook
