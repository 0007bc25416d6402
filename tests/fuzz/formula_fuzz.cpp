// The workbook formula reader: tokens, the QVL call reader and shared-formula shifting. A
// formula either tokenizes or fails with a place inside it; what tokenizes reads the same after
// its references are written out again.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.hpp"
#include "workbook/formula.hpp"

namespace {

using namespace standin::workbook;

bool inside(const Reference& r) {
    return r.first_row >= 0 && r.first_row <= r.last_row && r.last_row < row_count &&
           r.first_column >= 0 && r.first_column <= r.last_column && r.last_column < column_count;
}

void sound(const Node& n, std::size_t size) {
    check(n.offset <= size && std::isfinite(n.number), "places inside, finite numbers");
    check(n.kind != Node::Kind::reference || inside(n.reference), "references on the sheet");
    for (const Node& a : n.args) sound(a, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view formula(reinterpret_cast<const char*>(data), size);
    std::vector<Token> tokens;
    try {
        tokens = tokenize(formula);
    } catch (const FormulaError& e) {
        check(e.offset() <= size, "a fault inside the formula");
        return 0;
    } catch (const BeyondLastCell&) {
        return 0;
    }
    for (const Token& t : tokens) {
        check(t.begin < t.end && t.end <= size, "tokens inside the formula");
        check(t.kind != Token::Kind::reference || inside(t.reference), "references on the sheet");
    }
    Node call;
    Unreadable why;
    if (read_call(formula, call, why)) {
        sound(call, size);
    } else {
        check(why.offset <= size && !why.message.empty(), "a reason inside the formula");
    }
    // Written out again unmoved, the references read as they did.
    const std::string again = shift_formula(formula, 0, 0);
    const std::vector<Token> retokenized = tokenize(again);
    check(retokenized.size() == tokens.size(), "as many tokens");
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Reference& a = tokens[i].reference;
        const Reference& b = retokenized[i].reference;
        check(tokens[i].kind == retokenized[i].kind && a.form == b.form && a.sheet == b.sheet &&
                  a.first_row == b.first_row && a.last_row == b.last_row &&
                  a.first_column == b.first_column && a.last_column == b.last_column,
              "the same tokens");
    }
    // Moved anywhere, a formula keeps its tokens: a reference moved off the sheet becomes one
    // #REF!, and nothing next to it reads differently.
    if (size >= 2) {
        const std::string moved = shift_formula(formula, static_cast<std::int8_t>(data[0]) * 8191,
                                                static_cast<std::int8_t>(data[1]) * 127);
        check(tokenize(moved).size() == tokens.size(), "a moved formula keeps its tokens");
    }
    tokenize(without_addin_prefix(formula));
    return 0;
}
