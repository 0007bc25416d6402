#include "cli/script.hpp"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace standin {

namespace {

// Deep enough for any formula a person writes; bounds the parser's recursion.
constexpr int max_depth = 64;

bool is_name_start(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

bool same_word(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool is_reserved(std::string_view word) {
    for (const char* reserved : {"help", "csv", "TRUE", "FALSE", "quit", "exit"}) {
        if (same_word(word, reserved)) {
            return true;
        }
    }
    return false;
}

class Parser {
  public:
    explicit Parser(std::string_view line) : s_(line) {}

    Statement statement() {
        Statement st;
        skip_blanks();
        if (at_end_or_comment()) {
            st.source = std::string(s_.substr(i_));
            while (!st.source.empty() && (st.source.back() == ' ' || st.source.back() == '\r')) {
                st.source.pop_back();
            }
            return st;
        }
        std::size_t start = i_;
        const std::size_t save = i_;
        if (is_name_start(peek())) {
            const std::string word = identifier();
            skip_blanks();
            if (same_word(word, "help") && (at_end_or_comment() || is_name_start(peek()))) {
                st.kind = Statement::Kind::help;
                if (!at_end_or_comment()) {
                    st.help_topic = identifier();
                }
                finish(st, start);
                return st;
            }
            if (at_end_or_comment() && (same_word(word, "quit") || same_word(word, "exit"))) {
                st.kind = Statement::Kind::quit;
                finish(st, start);
                return st;
            }
            if (peek() == '=') {
                check_assignable(word, save);
                ++i_;
                st.name = word;
                skip_blanks();
            } else {
                i_ = save;
            }
        } else if (peek() == '=') {
            ++i_;  // as typed into a cell
            skip_blanks();
            start = i_;
        }
        st.kind = Statement::Kind::formula;
        st.expr = expression(0);
        finish(st, start);
        return st;
    }

  private:
    char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    bool at_end_or_comment() const { return i_ >= s_.size() || s_[i_] == '#'; }

    [[noreturn]] void fail(std::size_t at, const std::string& message) const {
        throw ScriptError(column_of(s_, at), message);
    }

    // column_of(s_, i_), counted on from the last call: the parser only moves forward, so a
    // line of many arguments costs one pass rather than one per argument.
    int column_here() {
        for (; counted_to_ < i_ && counted_to_ < s_.size(); ++counted_to_) {
            if ((static_cast<unsigned char>(s_[counted_to_]) & 0xC0) != 0x80) {
                ++characters_;
            }
        }
        int column = 1 + characters_;
        if (i_ < s_.size() && (static_cast<unsigned char>(s_[i_]) & 0xC0) == 0x80) {
            --column;  // inside a character counts as at it
        }
        return column;
    }

    void skip_blanks() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r')) {
            ++i_;
        }
    }

    std::string identifier() {
        const std::size_t start = i_;
        while (i_ < s_.size() && is_name_char(s_[i_])) {
            ++i_;
        }
        return std::string(s_.substr(start, i_ - start));
    }

    void check_assignable(const std::string& word, std::size_t at) const {
        if (word.find('.') != std::string::npos) {
            fail(at, "a name is made of letters, digits and _: " + word);
        }
        if (is_reserved(word)) {
            fail(at, "'" + word + "' is a reserved word, not a name");
        }
    }

    void finish(Statement& st, std::size_t start) {
        skip_blanks();
        if (!at_end_or_comment()) {
            fail(i_, "unexpected '" + std::string(1, s_[i_]) + "' after the formula");
        }
        std::size_t end = i_;
        while (end > start && (s_[end - 1] == ' ' || s_[end - 1] == '\t' || s_[end - 1] == '\r')) {
            --end;
        }
        st.source = std::string(s_.substr(start, end - start));
    }

    Expr expression(int depth) {
        if (depth > max_depth) {
            fail(i_, "formula nested too deeply");
        }
        skip_blanks();
        Expr e;
        e.column = column_here();
        const char c = peek();
        if (c == '"') {
            e.kind = Expr::Kind::text;
            e.text = text();
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' ||
                   c == '+') {
            e.kind = Expr::Kind::number;
            e.number = number();
        } else if (is_name_start(c)) {
            const std::size_t word_at = i_;
            const std::string word = identifier();
            skip_blanks();
            if (peek() == '(') {
                ++i_;
                e.kind = Expr::Kind::call;
                e.text = word;
                arguments(e, depth);
            } else if (same_word(word, "TRUE") || same_word(word, "FALSE")) {
                e.kind = Expr::Kind::boolean;
                e.boolean = same_word(word, "TRUE");
            } else if (word.find('.') != std::string::npos) {
                fail(i_, "expected '(' after " + word);
            } else if (is_reserved(word)) {
                // No result can have this name; after a leading "=" the word would otherwise
                // read as a name here but as a command in the line's source text.
                fail(word_at, "'" + word + "' is a reserved word, not a name");
            } else {
                e.kind = Expr::Kind::name;
                e.text = word;
            }
        } else if (c == '#') {
            fail(i_, "a handle is a text: write it in double quotes");
        } else if (c == '\0') {
            fail(i_, "expected a value");
        } else {
            fail(i_, "unexpected '" + std::string(1, c) + "'");
        }
        return e;
    }

    // After the opening parenthesis, up to and including the closing one.
    void arguments(Expr& call, int depth) {
        skip_blanks();
        if (peek() == ')') {
            ++i_;
            return;
        }
        for (;;) {
            skip_blanks();
            if (peek() == ',' || peek() == ')') {
                Expr omitted;
                omitted.column = column_here();
                call.args.push_back(omitted);
            } else {
                call.args.push_back(expression(depth + 1));
                skip_blanks();
            }
            if (peek() == ',') {
                ++i_;
                continue;
            }
            if (peek() == ')') {
                ++i_;
                return;
            }
            fail(i_, i_ >= s_.size() ? "expected ')'" : "expected ',' or ')'");
        }
    }

    // A sheet's text: double quotes around it, a doubled quote inside.
    std::string text() {
        const std::size_t open = i_++;
        std::string out;
        for (;;) {
            if (i_ >= s_.size()) {
                fail(open, "the text is not closed with \"");
            }
            if (s_[i_] == '"') {
                if (i_ + 1 < s_.size() && s_[i_ + 1] == '"') {
                    out += '"';
                    i_ += 2;
                    continue;
                }
                ++i_;
                return out;
            }
            out += s_[i_++];
        }
    }

    double number() {
        const std::size_t start = i_;
        if (peek() == '-' || peek() == '+') {
            ++i_;
        }
        std::size_t digits = 0;
        while (std::isdigit(static_cast<unsigned char>(peek()))) {
            ++i_;
            ++digits;
        }
        if (peek() == '.') {
            ++i_;
            while (std::isdigit(static_cast<unsigned char>(peek()))) {
                ++i_;
                ++digits;
            }
        }
        if (digits == 0) {
            fail(start, "expected a number");
        }
        if (peek() == 'e' || peek() == 'E') {
            std::size_t j = i_ + 1;
            if (j < s_.size() && (s_[j] == '-' || s_[j] == '+')) {
                ++j;
            }
            if (j >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[j]))) {
                fail(i_, "expected the digits of an exponent");
            }
            i_ = j;
            while (std::isdigit(static_cast<unsigned char>(peek()))) {
                ++i_;
            }
        }
        if (is_name_char(peek())) {
            fail(i_, "unexpected '" + std::string(1, peek()) + "' in a number");
        }
        const double value =
            std::strtod(std::string(s_.substr(start, i_ - start)).c_str(), nullptr);
        if (!std::isfinite(value)) {
            fail(start, "a number beyond the largest a cell holds");
        }
        return value;
    }

    std::string_view s_;
    std::size_t i_ = 0;
    std::size_t counted_to_ = 0;
    int characters_ = 0;  // characters starting before counted_to_
};

}  // namespace

int column_of(std::string_view line, std::size_t offset) {
    int column = 1;
    for (std::size_t i = 0; i < offset && i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    // Pointing inside a character counts as pointing at it.
    if (offset < line.size() && (static_cast<unsigned char>(line[offset]) & 0xC0) == 0x80) {
        --column;
    }
    return column;
}

Statement parse_line(std::string_view line) {
    return Parser(line).statement();
}

}  // namespace standin
