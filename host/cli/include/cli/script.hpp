#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// A fault in one line of a script, at a 1-based character column (0 when it concerns the whole
// line).
class ScriptError : public std::runtime_error {
  public:
    ScriptError(int column, const std::string& message)
        : std::runtime_error(message), column_(column) {}
    int column() const { return column_; }

  private:
    int column_;
};

// One argument or right-hand side, as written.
struct Expr {
    enum class Kind { number, text, boolean, omitted, name, call };
    Kind kind = Kind::omitted;
    double number = 0;
    bool boolean = false;
    std::string text;  // the text, the name, or the function text of a call
    std::vector<Expr> args;
    int column = 0;
};

// One line: nothing (blank or comment), a help request, quit (or exit), or a formula with an
// optional name.
struct Statement {
    enum class Kind { empty, help, quit, formula };
    Kind kind = Kind::empty;
    std::string name;        // the name assigned, or empty
    std::string help_topic;  // for help: a function text, or empty for the overview
    Expr expr;
    // The statement as written, without blanks around it or a comment; for an empty
    // statement, the comment.
    std::string source;
};

// Reads one line of the script language:
//   [name =] formula      formula: a number, "text", TRUE, FALSE, a name, or
//                         Function(arg, ...) with any argument left empty as omitted
//   help [Function]
//   quit | exit
//   # comment             (also after a statement)
// A leading "=" before a formula is allowed, as typed into a cell. Throws ScriptError.
Statement parse_line(std::string_view line);

// The 1-based character column of a byte offset in a UTF-8 line.
int column_of(std::string_view line, std::size_t offset);

}  // namespace standin
