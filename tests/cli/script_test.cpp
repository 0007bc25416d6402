// The formula language: what a line means, and where a faulty line is faulty.

#include "cli/script.hpp"

#include <gtest/gtest.h>

namespace {

using standin::Expr;
using standin::parse_line;
using standin::ScriptError;
using standin::Statement;

int error_column(const std::string& line) {
    try {
        parse_line(line);
    } catch (const ScriptError& e) {
        return e.column();
    }
    return -1;
}

TEST(ScriptLine, ReadsEveryKindOfArgument) {
    const Statement st =
        parse_line(R"( s = QVL.CreateSwap(series, "a ""b""", TRUE, , -1.5e2, false,))");
    EXPECT_EQ(st.name, "s");
    EXPECT_EQ(st.source, R"(s = QVL.CreateSwap(series, "a ""b""", TRUE, , -1.5e2, false,))");
    EXPECT_EQ(st.expr.text, "QVL.CreateSwap");
    const auto& a = st.expr.args;
    ASSERT_EQ(a.size(), 7u);  // a trailing comma leaves one out
    EXPECT_EQ((std::vector{a[0].kind, a[2].kind, a[3].kind, a[5].kind, a[6].kind}),
              (std::vector{Expr::Kind::name, Expr::Kind::boolean, Expr::Kind::omitted,
                           Expr::Kind::boolean, Expr::Kind::omitted}));
    EXPECT_EQ(a[1].text, "a \"b\"");
    EXPECT_TRUE(a[2].boolean && !a[5].boolean);
    EXPECT_EQ(a[4].number, -150);
    EXPECT_EQ(a[4].column, 48);
}

TEST(ScriptLine, NestedCallsCellStyleHelpQuitAndComments) {
    const Statement st =
        parse_line(R"(=QVL.GetSwapInfo(QVL.CreateSwap(s, csv("c.csv", "A1:B2"))) # note)");
    EXPECT_EQ(st.source, R"(QVL.GetSwapInfo(QVL.CreateSwap(s, csv("c.csv", "A1:B2"))))");
    EXPECT_EQ(st.expr.args.at(0).args.at(1).args.at(1).text, "A1:B2");

    EXPECT_EQ(parse_line("HELP").kind, Statement::Kind::help);  // help and quit: qvl_host_test
    EXPECT_EQ(parse_line("   ").kind, Statement::Kind::empty);
    const Statement comment = parse_line("  # a comment\r");
    EXPECT_EQ(comment.kind, Statement::Kind::empty);
    EXPECT_EQ(comment.source, "# a comment");
}

TEST(ScriptLine, FaultsCarryTheirColumn) {
    const std::pair<const char*, int> cases[] = {
        {R"(x = QVL.Version("abc)", 17},  // the quote that is not closed
        {"x = QVL.DateFromTenor(1, 2", 27},
        {"QVL.GetSwapInfo(#Swap_3)", 17},
        {"QVL.Version() extra", 15},
        {"x = QVL.Version", 16},
        {"x = 12abc", 7},
        {"x = 1e", 6},
        {"x =", 4},
        {"a.b = 1", 1},
        {R"(x = f("ééé", %))", 14},  // columns count characters, not bytes
        {"QVL.Version()", -1},
        // Reserved words hold no results, and numbers stay within what a cell holds.
        {"csv = 1", 1},
        {" = help ", 4},
        {"x = f(1, csv)", 10},
        {"x = -1e999", 5},
    };
    for (const auto& [line, column] : cases) EXPECT_EQ(error_column(line), column) << line;

    std::string deep = "x = ";
    for (int i = 0; i < 10000; ++i) deep += "f(";
    EXPECT_GT(error_column(deep), 0);  // a fault, not a crash
}

}  // namespace
