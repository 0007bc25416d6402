// One line of the qvl-host script language. A line either reads or fails with a ScriptError
// pointing into it; a line that reads reads the same again from the source text it keeps.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cli/script.hpp"
#include "fuzz_check.hpp"

namespace {

using standin::Expr;
using standin::Statement;

// Numbers a cell can hold and columns inside the line, all the way down.
bool sound(const Expr& e, int last_column) {
    if (!std::isfinite(e.number) || e.column < 1 || e.column > last_column) return false;
    for (const Expr& arg : e.args) {
        if (!sound(arg, last_column)) return false;
    }
    return true;
}

bool same(const Expr& a, const Expr& b) {
    if (a.kind != b.kind || a.number != b.number || a.boolean != b.boolean || a.text != b.text ||
        a.args.size() != b.args.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.args.size(); ++i) {
        if (!same(a.args[i], b.args[i])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    Statement st;
    try {
        st = standin::parse_line(line);
    } catch (const standin::ScriptError& e) {
        check(e.column() >= 0 && e.column() <= standin::column_of(line, line.size()),
              "an error points into the line");
        return 0;
    }
    if (st.kind == Statement::Kind::empty) return 0;
    check(st.kind != Statement::Kind::formula ||
              sound(st.expr, standin::column_of(line, line.size())),
          "finite numbers, columns inside the line");
    Statement again;
    try {
        again = standin::parse_line(st.source);
    } catch (const standin::ScriptError&) {
        check(false, "the source of a statement reads");
    }
    check(again.kind == st.kind && again.name == st.name && again.help_topic == st.help_topic &&
              same(again.expr, st.expr) && again.source == st.source,
          "the source of a statement reads as the statement");
    return 0;
}
