#include "workbook/formula.hpp"

#include <charconv>
#include <utility>

#include "host/value.hpp"
#include "xll/host_api.hpp"

namespace standin::workbook {

namespace {

// How deep calls nest and how many arguments one takes, at most, in the host.
constexpr int deepest_call = 64;
constexpr std::size_t most_arguments = 255;

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Letters, digits and what else a name, a sheet name or a cell part can hold ($ for the
// latter); bytes of UTF-8 sequences count as letters.
bool is_run_char(char c) {
    return is_letter(c) || is_digit(c) || c == '_' || c == '.' || c == '\\' || c == '?' ||
           c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if ((is_letter(a[i]) ? a[i] | 0x20 : a[i]) != (is_letter(b[i]) ? b[i] | 0x20 : b[i])) {
            return false;
        }
    }
    return true;
}

bool starts_with_ignoring_case(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && same_ignoring_case(s.substr(0, prefix.size()), prefix);
}

// One part of a reference ($A$1, A, $3) read from a run of characters.
struct Part {
    std::int32_t row = -1, column = -1;  // -1: the part has none
    bool absolute_row = false, absolute_column = false;
};

enum class Match { no, yes, beyond };

// [$]letters[$]digits, [$]letters (want_row false) or [$]digits (want_column false).
Match match_part(std::string_view s, bool want_column, bool want_row, Part& part) {
    std::size_t i = 0;
    part = Part{};
    if (want_column) {
        part.absolute_column = i < s.size() && s[i] == '$';
        i += part.absolute_column ? 1 : 0;
        const std::size_t from = i;
        std::int32_t column = 0;
        while (i < s.size() && is_letter(s[i]) && i - from < 4) {
            column = column * 26 + ((s[i] | 0x20) - 'a' + 1);
            ++i;
        }
        if (i == from || i - from > 3) {
            return Match::no;
        }
        part.column = column - 1;
    }
    if (want_row) {
        part.absolute_row = i < s.size() && s[i] == '$';
        i += part.absolute_row ? 1 : 0;
        const std::size_t from = i;
        std::int64_t row = 0;
        while (i < s.size() && is_digit(s[i])) {
            row = std::min<std::int64_t>(row * 10 + (s[i] - '0'), row_count + 1);
            ++i;
        }
        if (i == from || row == 0) {
            return Match::no;
        }
        part.row = static_cast<std::int32_t>(row - 1);
    }
    if (i != s.size()) {
        return Match::no;
    }
    return part.column >= column_count || part.row >= row_count ? Match::beyond : Match::yes;
}

class Lexer {
  public:
    explicit Lexer(std::string_view s) : s_(s) {}

    std::vector<Token> tokens() {
        std::vector<Token> out;
        for (;;) {
            while (i_ < s_.size() &&
                   (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) {
                ++i_;
            }
            if (i_ >= s_.size()) {
                return out;
            }
            Token t;
            t.begin = i_;
            next(t);
            t.end = i_;
            out.push_back(std::move(t));
        }
    }

  private:
    char at(std::size_t i) const { return i < s_.size() ? s_[i] : '\0'; }

    void next(Token& t) {
        const char c = s_[i_];
        if (c == '"') {
            text(t);
        } else if (c == '#') {
            error(t);
        } else if (c == '\'') {
            std::string sheet = quoted();
            if (at(i_) != '!') {
                throw FormulaError(t.begin, "a quoted sheet name must be followed by !");
            }
            ++i_;
            reference_part(t, std::move(sheet));
        } else if (c == '[') {
            external(t);
        } else if (is_digit(c) || (c == '.' && is_digit(at(i_ + 1)))) {
            if (!rows(t)) {
                number(t);
            }
        } else if (is_run_char(c) && !is_digit(c)) {
            word(t);
        } else {
            punctuation(t);
        }
    }

    void text(Token& t) {
        t.kind = Token::Kind::text;
        for (++i_;; ++i_) {
            if (i_ >= s_.size()) {
                throw FormulaError(t.begin, "the text has no closing quote");
            }
            if (s_[i_] == '"') {
                if (at(i_ + 1) != '"') {
                    ++i_;
                    return;
                }
                ++i_;
            }
            t.text += s_[i_];
        }
    }

    void error(Token& t) {
        for (const ErrorValue& e : error_values()) {
            if (starts_with_ignoring_case(s_.substr(i_), e.text)) {
                t.kind = Token::Kind::error;
                t.error = e.code;
                i_ += e.text.size();
                return;
            }
        }
        // Not an error value: a spill reference's "#" (A1#) or a stray one, read as an operator.
        t.kind = Token::Kind::other;
        ++i_;
    }

    std::string quoted() {
        const std::size_t from = i_;
        std::string name;
        for (++i_;; ++i_) {
            if (i_ >= s_.size()) {
                throw FormulaError(from, "the sheet name has no closing quote");
            }
            if (s_[i_] == '\'') {
                if (at(i_ + 1) != '\'') {
                    ++i_;
                    return name;
                }
                ++i_;
            }
            name += s_[i_];
        }
    }

    std::string_view run() {
        const std::size_t from = i_;
        while (i_ < s_.size() && is_run_char(s_[i_])) {
            ++i_;
        }
        return s_.substr(from, i_ - from);
    }

    // [1]Sheet!A1, Table[Column], Table[[#This Row],[Column]]: nothing recalculated here
    // reads them, so they are kept whole as one token.
    void external(Token& t) {
        t.kind = Token::Kind::external;
        for (int depth = 0; i_ < s_.size();) {
            const char c = s_[i_++];
            depth += c == '[' ? 1 : c == ']' ? -1 : 0;
            if (depth == 0) {
                break;
            }
        }
        const std::size_t save = i_;
        if (at(i_) == '\'') {
            quoted();
        } else {
            run();
        }
        if (at(i_) != '!') {
            i_ = save;
            return;
        }
        ++i_;
        run();
        if (at(i_) == ':') {
            ++i_;
            run();
        }
    }

    bool rows(Token& t) {
        const std::size_t save = i_;
        const std::string_view first = run();
        Part a, b;
        if (match_part(first, false, true, a) != Match::no && at(i_) == ':') {
            ++i_;
            if (range_end(first, a, b, false, true)) {
                t.cells = t.begin;
                set_range(t, Reference::Form::rows, "", a, b);
                return true;
            }
        }
        i_ = save;
        return false;
    }

    void number(Token& t) {
        t.kind = Token::Kind::number;
        const std::size_t from = i_;
        while (is_digit(at(i_)) || at(i_) == '.') {
            ++i_;
        }
        if ((at(i_) == 'e' || at(i_) == 'E') &&
            (is_digit(at(i_ + 1)) ||
             ((at(i_ + 1) == '+' || at(i_ + 1) == '-') && is_digit(at(i_ + 2))))) {
            i_ += 2;
            while (is_digit(at(i_))) {
                ++i_;
            }
        }
        const auto [end, ec] = std::from_chars(s_.data() + from, s_.data() + i_, t.number);
        if (ec == std::errc::result_out_of_range) {
            throw FormulaError(from, "a number beyond the largest a cell holds");
        }
        // The host always writes an operator between a number and a name or reference. Read as
        // two tokens, "1:5G66" would turn into the rows 1:5 once G66 is shifted to #REF!.
        if (ec != std::errc() || end != s_.data() + i_ || is_run_char(at(i_))) {
            throw FormulaError(from, "not a number");
        }
    }

    void word(Token& t) {
        const std::string_view w = run();
        if (at(i_) == '!') {
            ++i_;
            reference_part(t, std::string(w));
        } else if (at(i_) == '(' && w.find('$') == std::string_view::npos) {
            t.kind = Token::Kind::function;
            t.text = w;
        } else if (same_ignoring_case(w, "TRUE") || same_ignoring_case(w, "FALSE")) {
            t.kind = Token::Kind::boolean;
            t.boolean = same_ignoring_case(w, "TRUE");
        } else {
            i_ = t.begin;
            reference_part(t, "");
        }
    }

    // What follows "Sheet!" (or starts a reference without a sheet): a cell, a rectangle, whole
    // columns or rows, #REF!, or a name.
    void reference_part(Token& t, std::string sheet) {
        t.cells = i_;
        if (at(i_) == '#') {
            error(t);
            return;
        }
        const std::size_t from = i_;
        const std::string_view first = run();
        Part a, b;
        const Match cell = match_part(first, true, true, a);
        if (cell == Match::beyond) {
            throw BeyondLastCell("a reference beyond the last cell XFD1048576: " +
                                 std::string(s_.substr(t.begin, i_ - t.begin)));
        }
        if (cell == Match::yes) {
            const std::size_t save = i_;
            if (at(i_) == ':') {
                ++i_;
                if (range_end(first, a, b, true, true)) {
                    set_range(t, Reference::Form::area, std::move(sheet), a, b);
                    return;
                }
            }
            i_ = save;
            set_range(t, Reference::Form::cell, std::move(sheet), a, a);
            return;
        }
        for (const bool columns : {true, false}) {
            const std::size_t save = i_;
            if (match_part(first, columns, !columns, a) != Match::no && at(i_) == ':') {
                ++i_;
                if (range_end(first, a, b, columns, !columns)) {
                    set_range(t, columns ? Reference::Form::columns : Reference::Form::rows,
                              std::move(sheet), a, b);
                    return;
                }
            }
            i_ = save;
        }
        if (first.empty() || first.find('$') != std::string_view::npos || is_digit(first[0])) {
            throw FormulaError(from, first.empty() ? "a reference is missing after the sheet"
                                                   : "not a reference or a name");
        }
        t.kind = Token::Kind::name;
        t.text = first;
        t.reference.sheet = std::move(sheet);
    }

    // The part after ":" of a range whose first part is first; a is that part read again in
    // the range's form.
    bool range_end(std::string_view first, Part& a, Part& b, bool column, bool row) {
        const std::string_view second = run();
        const Match m1 = match_part(first, column, row, a);
        const Match m2 = match_part(second, column, row, b);
        if (m1 != Match::no && m2 != Match::no && (m1 == Match::beyond || m2 == Match::beyond)) {
            throw BeyondLastCell("a reference beyond the last cell XFD1048576: " +
                                 std::string(first) + ":" + std::string(second));
        }
        return m1 == Match::yes && m2 == Match::yes;
    }

    static void set_range(Token& t, Reference::Form form, std::string sheet, Part a, Part b) {
        t.kind = Token::Kind::reference;
        Reference& r = t.reference;
        r.form = form;
        r.sheet = std::move(sheet);
        if (form == Reference::Form::rows) {
            a.column = 0;
            b.column = column_count - 1;
        } else if (form == Reference::Form::columns) {
            a.row = 0;
            b.row = row_count - 1;
        }
        // The host writes a rectangle top-left first; one written otherwise means the same.
        if (a.row > b.row) {
            std::swap(a.row, b.row);
            std::swap(a.absolute_row, b.absolute_row);
        }
        if (a.column > b.column) {
            std::swap(a.column, b.column);
            std::swap(a.absolute_column, b.absolute_column);
        }
        r.first_row = a.row;
        r.first_column = a.column;
        r.last_row = b.row;
        r.last_column = b.column;
        r.absolute_first_row = a.absolute_row;
        r.absolute_first_column = a.absolute_column;
        r.absolute_last_row = b.absolute_row;
        r.absolute_last_column = b.absolute_column;
    }

    void punctuation(Token& t) {
        const char c = s_[i_];
        switch (c) {
            case '(':
                t.kind = Token::Kind::open;
                break;
            case ')':
                t.kind = Token::Kind::close;
                break;
            case ',':
                t.kind = Token::Kind::comma;
                break;
            default:
                if (std::string_view("+-*/^&=<>%:;{}@!").find(c) == std::string_view::npos) {
                    throw FormulaError(i_, "a character no formula holds");
                }
                t.kind = Token::Kind::other;
        }
        ++i_;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

std::string part_text(std::int32_t row, std::int32_t column, bool absolute_row,
                      bool absolute_column) {
    std::string s;
    if (column >= 0) {
        s += absolute_column ? "$" : "";
        s += column_letters(column);
    }
    if (row >= 0) {
        s += absolute_row ? "$" : "";
        s += std::to_string(row + 1);
    }
    return s;
}

// Moves one coordinate; false when it leaves the sheet.
bool move(std::int32_t& at, bool absolute, std::int32_t by, std::int32_t count) {
    if (!absolute) {
        const std::int64_t moved = static_cast<std::int64_t>(at) + by;
        if (moved < 0 || moved >= count) {
            return false;
        }
        at = static_cast<std::int32_t>(moved);
    }
    return true;
}

class CallReader {
  public:
    CallReader(std::string_view s, const std::vector<Token>& tokens) : s_(s), t_(tokens) {}

    Node formula() {
        if (t_.empty()) {
            fail(0, "the formula is empty");
        }
        if (t_[0].kind != Token::Kind::function) {
            fail(t_[0].begin, "this reader takes only a formula that is one function call");
        }
        Node call = this->call(1);
        if (i_ < t_.size()) {
            fail(t_[i_].begin, "this reader takes only a formula that is one function call; " +
                                   shown(t_[i_]) + " follows it");
        }
        return call;
    }

    struct Failure {
        Unreadable why;
    };

  private:
    [[noreturn]] void fail(std::size_t offset, std::string message) const {
        throw Failure{Unreadable{offset, std::move(message)}};
    }

    std::string shown(const Token& t) const {
        std::string quoted = "'";
        quoted.append(s_.substr(t.begin, t.end - t.begin)).append("'");
        return quoted;
    }

    Node call(int depth) {
        const Token& name = t_[i_];
        if (depth > deepest_call) {
            fail(name.begin, "calls nest more than 64 deep");
        }
        Node node;
        node.kind = Node::Kind::call;
        node.text = name.text;
        node.offset = name.begin;
        i_ += 2;  // the name and its "("
        if (i_ < t_.size() && t_[i_].kind == Token::Kind::close) {
            ++i_;
            return node;
        }
        for (;;) {
            node.args.push_back(argument(depth));
            if (node.args.size() > most_arguments) {
                fail(node.args.back().offset, "a call takes at most 255 arguments");
            }
            if (i_ >= t_.size()) {
                fail(s_.size(), "')' is missing");
            }
            const Token& t = t_[i_++];
            if (t.kind == Token::Kind::close) {
                return node;
            }
            if (t.kind != Token::Kind::comma) {
                fail(t.begin, t.kind == Token::Kind::other
                                  ? "operators are not taken: " + shown(t)
                                  : "',' or ')' expected instead of " + shown(t));
            }
        }
    }

    Node argument(int depth) {
        Node node;
        if (i_ >= t_.size()) {
            fail(s_.size(), "')' is missing");
        }
        const Token& t = t_[i_];
        node.offset = t.begin;
        switch (t.kind) {
            case Token::Kind::comma:
            case Token::Kind::close:
                return node;  // missing, nothing taken
            case Token::Kind::function:
                return call(depth + 1);
            case Token::Kind::number:
                node.kind = Node::Kind::number;
                node.number = t.number;
                break;
            case Token::Kind::text:
                node.kind = Node::Kind::text;
                node.text = t.text;
                break;
            case Token::Kind::boolean:
                node.kind = Node::Kind::boolean;
                node.boolean = t.boolean;
                break;
            case Token::Kind::error:
                node.kind = Node::Kind::error;
                node.error = t.error;
                break;
            case Token::Kind::reference:
                if (t.reference.form == Reference::Form::columns ||
                    t.reference.form == Reference::Form::rows) {
                    fail(t.begin, "whole columns or rows are not taken: " + shown(t));
                }
                node.kind = Node::Kind::reference;
                node.reference = t.reference;
                break;
            case Token::Kind::name:
                node.kind = Node::Kind::name;
                node.text = t.text;
                node.reference.sheet = t.reference.sheet;
                break;
            case Token::Kind::external:
                fail(t.begin,
                     "references to other workbooks and tables are not taken: " + shown(t));
            case Token::Kind::other:
                if (s_[t.begin] == '-' && i_ + 1 < t_.size() &&
                    t_[i_ + 1].kind == Token::Kind::number) {
                    node.kind = Node::Kind::number;
                    node.number = -t_[i_ + 1].number;
                    i_ += 2;
                    return node;
                }
                fail(t.begin, s_[t.begin] == '-' ? "a minus sign is taken only before a number"
                                                 : "operators are not taken: " + shown(t));
            case Token::Kind::open:
                fail(t.begin, "parentheses are not taken");
        }
        ++i_;
        return node;
    }

    std::string_view s_;
    const std::vector<Token>& t_;
    std::size_t i_ = 0;
};

}  // namespace

std::vector<Token> tokenize(std::string_view formula) {
    return Lexer(formula).tokens();
}

std::string without_addin_prefix(std::string_view formula) {
    std::vector<Token> tokens;
    try {
        tokens = tokenize(formula);
    } catch (const FormulaError&) {
        return std::string(formula);
    }
    std::string out;
    std::size_t copied = 0;
    for (const Token& t : tokens) {
        if (t.kind == Token::Kind::function && starts_with_ignoring_case(t.text, "_xll.")) {
            out.append(formula.substr(copied, t.begin - copied));
            copied = t.begin + 5;
        }
    }
    out.append(formula.substr(copied));
    if (copied == 0) {
        return out;
    }
    // Taking the prefix away must not make another formula of it ("YGA:_xll.F(" would read
    // as columns YGA:F): such a formula keeps its prefix.
    try {
        tokenize(out);
    } catch (const std::exception&) {
        return std::string(formula);
    }
    return out;
}

std::string shift_formula(std::string_view formula, std::int32_t rows, std::int32_t columns) {
    std::vector<Token> tokens;
    try {
        tokens = tokenize(formula);
    } catch (const FormulaError&) {
        return std::string(formula);
    }
    std::string out;
    std::size_t copied = 0;
    for (const Token& t : tokens) {
        if (t.kind != Token::Kind::reference) {
            continue;
        }
        Reference r = t.reference;
        const bool move_rows = r.form != Reference::Form::columns;
        const bool move_columns = r.form != Reference::Form::rows;
        const bool kept =
            (!move_rows || (move(r.first_row, r.absolute_first_row, rows, row_count) &&
                            move(r.last_row, r.absolute_last_row, rows, row_count))) &&
            (!move_columns ||
             (move(r.first_column, r.absolute_first_column, columns, column_count) &&
              move(r.last_column, r.absolute_last_column, columns, column_count)));
        // The sheet stays as written; only the cells move.
        out.append(formula.substr(copied, t.cells - copied));
        out += kept ? cells_text(r) : "#REF!";
        copied = t.end;
    }
    out.append(formula.substr(copied));
    return out;
}

std::string column_letters(std::int32_t column) {
    std::string letters;
    for (std::int32_t c = column + 1; c > 0; c = (c - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    }
    return letters;
}

std::string quoted_sheet(std::string_view sheet) {
    Part part;
    bool plain = !sheet.empty() && !is_digit(sheet[0]) &&
                 match_part(sheet, true, true, part) == Match::no &&
                 !same_ignoring_case(sheet, "TRUE") && !same_ignoring_case(sheet, "FALSE");
    for (const char c : sheet) {
        plain = plain && is_run_char(c) && c != '$' && c != '?';
    }
    if (plain) {
        return std::string(sheet);
    }
    std::string out = "'";
    for (const char c : sheet) {
        out += c == '\'' ? "''" : std::string(1, c);
    }
    return out + "'";
}

std::string reference_text(const Reference& r) {
    return (r.sheet.empty() ? "" : quoted_sheet(r.sheet) + "!") + cells_text(r);
}

std::string cells_text(const Reference& r) {
    std::string s;
    const bool rows = r.form != Reference::Form::columns;
    const bool columns = r.form != Reference::Form::rows;
    s += part_text(rows ? r.first_row : -1, columns ? r.first_column : -1, r.absolute_first_row,
                   r.absolute_first_column);
    if (r.form != Reference::Form::cell) {
        s += ':';
        s += part_text(rows ? r.last_row : -1, columns ? r.last_column : -1, r.absolute_last_row,
                       r.absolute_last_column);
    }
    return s;
}

bool read_call(std::string_view formula, Node& call, Unreadable& why) {
    try {
        const std::vector<Token> tokens = tokenize(formula);
        call = CallReader(formula, tokens).formula();
        return true;
    } catch (const FormulaError& e) {
        why = Unreadable{e.offset(), e.what()};
    } catch (const CallReader::Failure& f) {
        why = f.why;
    } catch (const BeyondLastCell& e) {
        why = Unreadable{0, e.what()};
    }
    return false;
}

int character_column(std::string_view text, std::size_t offset) {
    int column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        column += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 ? 1 : 0;
    }
    return column;
}

}  // namespace standin::workbook
