// How results are shown: cell texts, aligned tables and JSON.

#include "cli/render.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using standin::render_json;
using standin::render_text;
using standin::Value;

TEST(Render, CellTexts) {
    EXPECT_EQ(standin::cell_text(Value(1.0 / 3)), "0.333333333333333");
    EXPECT_EQ(standin::cell_text(Value(-0.0)), "0");
    EXPECT_EQ(standin::cell_text(Value(1e15)), "1e+15");
    EXPECT_EQ(standin::cell_text(Value::error(42)), "#N/A");
    EXPECT_EQ(standin::cell_text(Value()), "");
}

TEST(Render, TablesAlignNumbersRightAndTextsLeft) {
    const Value g = Value::grid(3, 3,
                                {Value("Name"), Value("1 (Sep 25)"), Value(), Value("Coupon"),
                                 Value(200.0), Value(), Value("é"), Value(-3138.55), Value("x")});
    EXPECT_EQ(render_text(g),
              "Name    1 (Sep 25)\n"
              "Coupon         200\n"
              "é         -3138.55  x\n");
}

TEST(Render, Json) {
    EXPECT_EQ(render_json(Value(0.1)), "0.1");
    EXPECT_EQ(render_json(Value(1.0 / 3)), "0.3333333333333333");  // reads back the same
    EXPECT_EQ(render_json(Value(std::nan(""))), "null");
    EXPECT_EQ(render_json(Value(std::numeric_limits<double>::infinity())), "null");
    EXPECT_EQ(render_json(Value("a\"\\\n\x01")), R"("a\"\\\n\u0001")");
    EXPECT_EQ(render_json(Value::error(15)), R"({"error":"#VALUE!"})");
    EXPECT_EQ(render_json(Value::grid(2, 2, {Value("a"), Value(), Value::boolean(true), Value(2)})),
              R"([["a",null],[true,2]])");
}

}  // namespace
