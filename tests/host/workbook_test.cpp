// The workbook recalculation's units: the formula reader, shared-formula shifting, how a
// result fills a range, and the planner's order, listings and cycles.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "workbook/formula.hpp"
#include "workbook/plan.hpp"
#include "workbook/recalc.hpp"
#include "xll/host_api.hpp"

namespace {

using namespace standin::workbook;
using standin::Value;

// A call written back compactly: missing arguments as _, names as @name, errors as #code.
std::string shown(const Node& n) {
    switch (n.kind) {
        case Node::Kind::missing:
            return "_";
        case Node::Kind::number:
            return (std::ostringstream() << n.number).str();
        case Node::Kind::text:
            return "\"" + n.text + "\"";
        case Node::Kind::boolean:
            return n.boolean ? "TRUE" : "FALSE";
        case Node::Kind::error:
            return "#" + std::to_string(n.error);
        case Node::Kind::reference:
            return reference_text(n.reference);
        case Node::Kind::name:
            return "@" + (n.reference.sheet.empty() ? "" : n.reference.sheet + "!") + n.text;
        case Node::Kind::call: {
            std::string s = n.text + "(";
            for (std::size_t i = 0; i < n.args.size(); ++i) {
                s += (i ? "," : "") + shown(n.args[i]);
            }
            return s + ")";
        }
    }
    return "?";
}

std::string nested(int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += "QVL.F(";
    return s + std::string(static_cast<std::size_t>(depth), ')');
}

std::string arguments(int count) {
    std::string s = "QVL.F(1";
    for (int i = 1; i < count; ++i) s += ",1";
    return s + ")";
}

TEST(FormulaReader, ReadsEveryArgumentFormOfACall) {
    const std::pair<std::string, std::string> cases[] = {
        {"QVL.CreateSwap(A1,A2,,200)", "QVL.CreateSwap(A1,A2,_,200)"},
        {"QVL.F(\"a\"\"b\",TRUE,false,#N/A,-1.5,1E7,#div/0!)",
         "QVL.F(\"a\"b\",TRUE,FALSE,#42,-1.5,1e+07,#7)"},
        {"QVL.F($B$7,B$7,Book!b7,'Market data'!A3:B20,'It''s'!C1,B2:A1)",
         "QVL.F($B$7,B$7,Book!B7,'Market data'!A3:B20,'It''s'!C1,A1:B2)"},
        {"QVL.F(TradeDate,Book!Rate,Rate_2.b)", "QVL.F(@TradeDate,@Book!Rate,@Rate_2.b)"},
        {" QVL.GetSwapInfo( QVL.CreateSwap(B1 , B2) ) ", "QVL.GetSwapInfo(QVL.CreateSwap(B1,B2))"},
        {"QVL.F()", "QVL.F()"},
        {"QVL.F(,)", "QVL.F(_,_)"},
        {nested(64), nested(64)},
        {arguments(255), arguments(255)},
    };
    for (const auto& [formula, expected] : cases) {
        Node call;
        Unreadable why;
        ASSERT_TRUE(read_call(formula, call, why)) << formula << ": " << why.message;
        EXPECT_EQ(shown(call), expected) << formula;
    }
}

// A formula that is not one call and an unclosed text: the planner's test and the CLI's.
TEST(FormulaReader, NamesTheFormAndPlaceItDoesNotTake) {
    struct Case {
        std::string formula;
        int column;
        const char* message;
    };
    const Case cases[] = {
        {"QVL.F(A1+1)", 9, "operators are not taken: '+'"},
        {"QVL.F(-A1)", 7, "minus sign"},
        {"QVL.F((1))", 7, "parentheses"},
        {"QVL.F(A:B)", 7, "whole columns or rows"},
        {"QVL.F(2:3)", 7, "whole columns or rows"},
        {"QVL.F([1]Book!A1)", 7, "other workbooks"},
        {"QVL.F(Table1[Col])", 13, "',' or ')' expected instead of '[Col]'"},
        {"QVL.F(1", 8, "')' is missing"},
        {"QVL.F({1,2})", 7, "operators are not taken: '{'"},
        {"QVL.F(1 2)", 9, "',' or ')' expected"},
        {"QVL.F(1E999)", 7, "beyond the largest"},
        {"QVL.F(A1#)", 9, "operators are not taken: '#'"},  // a spill reference
        {"QVL.F(\"é\",A1+1)", 13, "operators"},             // columns count characters, not bytes
        {nested(65), 385, "nest more than 64 deep"},
        {arguments(256), 517, "at most 255 arguments"},
    };
    for (const Case& c : cases) {
        Node call;
        Unreadable why;
        ASSERT_FALSE(read_call(c.formula, call, why)) << c.formula;
        EXPECT_EQ(character_column(c.formula, why.offset), c.column) << c.formula;
        EXPECT_NE(why.message.find(c.message), std::string::npos)
            << c.formula << ": " << why.message;
    }
}

TEST(FormulaReader, ShiftsSharedFormulasAndStripsTheAddinPrefix) {
    struct Case {
        const char* formula;
        int rows, columns;
        const char* expected;
    };
    const Case cases[] = {
        {"B2*2+$C$1+C$1+$C1", 1, 1, "C3*2+$C$1+D$1+$C2"},
        {"SUM(Book!A1:B2)", 2, 0, "SUM(Book!A3:B4)"},
        {"A:A+1:1+$A:$A", 1, 1, "B:B+2:2+$A:$A"},
        {"\"A1\"&A1&TradeDate&LOG10(A1)", 1, 0, "\"A1\"&A2&TradeDate&LOG10(A2)"},
        {"'Market data'!A1", 0, 1, "'Market data'!B1"},
        {"QVL.F(A1,B1)", -1, 0, "QVL.F(#REF!,#REF!)"},
        {"XFD1+A1048576", 1, 1, "#REF!+#REF!"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shift_formula(c.formula, c.rows, c.columns), c.expected) << c.formula;
    }
    EXPECT_EQ(without_addin_prefix("_xll.QVL.F(\"_xll.x\",_XLL.QVL.G(),_xlfn.X())"),
              "QVL.F(\"_xll.x\",QVL.G(),_xlfn.X())");
    for (const char* beyond : {"A1048577", "XFE1", "A1:A1048577", "Book!XFE1", "XFE:XFE"}) {
        EXPECT_THROW(tokenize(beyond), BeyondLastCell) << beyond;
    }
    EXPECT_EQ(tokenize("XFD1048576")[0].kind, Token::Kind::reference);
    EXPECT_EQ(tokenize("ABCD1")[0].kind, Token::Kind::name);
}

TEST(FillRange, FillsAnArrayRangeAsTheHostDoes) {
    const Value na = Value::error(xlerrNA);
    const Value row = Value::grid(1, 2, {1, 2});
    const Value column = Value::grid(2, 1, {1, Value()});
    const Value grid = Value::grid(2, 2, {1, 2, 3, 4});
    const struct {
        Value result;
        int rows, columns;
        std::vector<Value> expected;
    } cases[] = {
        {Value("x"), 2, 1, {"x", "x"}},
        {row, 2, 3, {1, 2, na, 1, 2, na}},  // one row repeated down
        {column, 2, 2, {1, 1, 0, 0}},       // one column across; empty shows 0
        {grid, 3, 1, {1, 3, na}},           // cut, #N/A beyond
        {grid, 1, 1, {1}},                  // a single cell shows the top-left
        {Value::missing(), 1, 2, {0, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fill_range(c.result, c.rows, c.columns), c.expected) << c.result;
    }
}

// A workbook held in memory: sheets of formulas (array ranges as "D1:E2"), names and the
// functions QVL.One(x) and QVL.Three(a, b, c).
class Planning : public testing::Test {
  protected:
    Sheet& sheet(const std::string& name,
                 std::vector<std::pair<std::string, std::string>> formulas) {
        Sheet& s = book_.sheets.emplace_back();
        s.name = name;
        for (const auto& [place, text] : formulas) {
            const Token t = tokenize(place)[0];
            Formula& f = s.formulas.emplace_back();
            f.row = t.reference.first_row;
            f.column = t.reference.first_column;
            f.rows = t.reference.last_row - f.row + 1;
            f.columns = t.reference.last_column - f.column + 1;
            f.array = f.rows * f.columns > 1;
            f.text = text;
        }
        return s;
    }

    void name(const std::string& n, int sheet, std::int32_t row, std::int32_t last_row) {
        book_.names.push_back(DefinedName{n, -1, Area{sheet, row, 1, last_row, 1}, ""});
    }

    Plan plan() {
        return plan_recalculation(book_, [this](std::string_view n) {
            const auto f = std::ranges::find(functions_, n, &standin::Registration::function_text);
            return f == functions_.end() ? nullptr : &*f;
        });
    }

    std::vector<std::string> cells(const Plan& p) const {
        std::vector<std::string> out;
        for (const Step& s : p.steps) out.push_back(area_text(book_, s.range()));
        return out;
    }

    Workbook book_;
    std::vector<standin::Registration> functions_ = [] {
        std::vector<standin::Registration> r(2);
        r[0].function_text = "QVL.One";
        r[0].argument_codes = "Q";
        r[1].function_text = "QVL.Three";
        r[1].argument_codes = "QQQ";
        return r;
    }();
};

TEST_F(Planning, OrdersByDependenciesThenSheetOrderAndListsTheRest) {
    sheet("Book", {{"A1", "QVL.One(A3)"},
                   {"A2", "QVL.One(1)"},
                   {"A3", "QVL.Three(Rates,Data!C2,A2)"},
                   {"B1", "QVL.One(SUM(A1))"},
                   {"B2", "QVL.One(Nowhere)"},
                   {"B3", "QVL.Three(1,2,3,4)"},
                   {"B4", "1+QVL.One(1)"},
                   {"B5", "QVL.One(Nope!A1)"},
                   {"B6", "SUM(A1)&QVL.One(\"x)"},
                   {"B7", "QVL.Three(Data!A1:XFD32,Data!A1:XFD32,A2)"},
                   {"C1", "SUM(A1:A2)+C9"},
                   {"C2", "INDEX(Rates,1)"},
                   {"C3", "SUM(C9,Data!A1)"}});
    sheet("Data", {{"B2:C3", "QVL.One(1)"}});
    name("Rates", 1, 0, 1);  // Data!B1:B2
    const Plan p = plan();
    EXPECT_EQ(cells(p), (std::vector<std::string>{"Book!A2", "Data!B2:C3", "Book!A3", "Book!A1"}));
    EXPECT_EQ(p.steps[2].call.args[0].sheet, 1);  // the name, resolved to its sheet

    std::vector<std::string> problems;
    for (const Problem& q : p.problems) {
        problems.push_back(area_text(book_, {q.sheet, q.formula->row, q.formula->column,
                                             q.formula->row, q.formula->column}) +
                           ":" + std::to_string(character_column(q.formula->text, q.offset)) + " " +
                           q.message);
    }
    EXPECT_EQ(problems,
              (std::vector<std::string>{
                  "Book!B1:9 SUM is not a function of the add-in",
                  "Book!B2:9 no defined name Nowhere", "Book!B3:17 QVL.Three takes 3 arguments",
                  "Book!B4:1 this reader takes only a formula that is one function call",
                  "Book!B5:9 no sheet is named Nope", "Book!B6:17 the text has no closing quote",
                  "Book!B7:39 the ranges of this formula hold more than 1,048,576 cells"}));
    ASSERT_EQ(p.stale.size(), 2u);
    EXPECT_EQ(p.stale[0].depends_on, std::vector<std::string>{"Book!A1:A2"});
    EXPECT_EQ(p.stale[1].depends_on, std::vector<std::string>{"Rates"});
}

TEST_F(Planning, ACircularReferenceNamesItsCells) {
    const auto cycle = [this]() -> std::string {
        try {
            plan();
        } catch (const CircularReference& e) {
            return e.what();
        }
        return "no cycle";
    };
    sheet("Book", {{"A1", "QVL.One(A2)"}, {"A2", "QVL.Three(B1,A1:A1,1)"}, {"B1", "QVL.One(1)"}});
    sheet("Loop", {{"A1:B2", "QVL.One(B2)"}});
    EXPECT_EQ(cycle(), "circular reference: Book!A1 -> Book!A2 -> Book!A1");
    book_.sheets[0].formulas.clear();
    EXPECT_EQ(cycle(), "circular reference: Loop!A1:B2 -> Loop!A1:B2");
}

}  // namespace
