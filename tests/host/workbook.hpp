#pragma once

// The reference workbook: the example ranges read from examples/*.csv as a sheet holds them
// (numbers as numbers, texts as texts, empty cells as nil), and qvl.xll opened in the host.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "addin_fixture.hpp"

namespace workbook {

// One CSV cell: a text that is wholly a number becomes the number.
inline standin::Value csv_cell(const std::string& text) {
    if (text.empty()) return standin::Value();
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end != text.c_str() && *end == '\0') return standin::Value(number);
    return standin::Value(text);
}

// Comma-separated rows (the example files quote nothing); short rows are padded with nil.
inline standin::Value csv_grid(const std::string& file_name) {
    const auto path = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
                      "examples" / file_name;
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::vector<std::vector<std::string>> rows;
    std::size_t columns = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields(1);
        for (const char ch : line) {
            if (ch == ',') {
                fields.emplace_back();
            } else {
                fields.back() += ch;
            }
        }
        columns = std::max(columns, fields.size());
        rows.push_back(std::move(fields));
    }
    std::vector<standin::Value> cells;
    for (const auto& fields : rows) {
        for (std::size_t c = 0; c < columns; ++c) {
            cells.push_back(c < fields.size() ? csv_cell(fields[c]) : standin::Value());
        }
    }
    return standin::Value::grid(static_cast<int>(rows.size()), static_cast<int>(columns),
                                std::move(cells));
}

// A 2-column grid of labels and values, given as label, value, label, value...; numbers agree
// within tolerance, everything else exactly.
inline void expect_record(const standin::Value& grid, const std::vector<standin::Value>& expected,
                          double tolerance = 1e-8) {
    ASSERT_EQ(grid.kind(), standin::Value::Kind::grid) << grid;
    ASSERT_EQ(grid.rows() * 2, static_cast<int>(expected.size()));
    ASSERT_EQ(grid.columns(), 2);
    for (int r = 0; r < grid.rows(); ++r) {
        const standin::Value& label = expected[2 * static_cast<std::size_t>(r)];
        const standin::Value& value = expected[2 * static_cast<std::size_t>(r) + 1];
        EXPECT_EQ(grid.at(r, 0), label);
        if (value.is_number() && grid.at(r, 1).is_number()) {
            EXPECT_NEAR(grid.at(r, 1).number(), value.number(), tolerance) << label;
        } else {
            EXPECT_EQ(grid.at(r, 1), value) << label;
        }
    }
}

}  // namespace workbook

class Workbook : public OpenQvlAddin {
  protected:
    // #YC_1, #Series_2 and a buyer #Swap_3 on the reference data, curve dated 2026-01-20.
    void build_reference() {
        ASSERT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve}), standin::Value("#YC_1"));
        ASSERT_EQ(host.call("QVL.CreateSeries", {1, series, factors}), standin::Value("#Series_2"));
        ASSERT_EQ(host.call("QVL.CreateSwap", {"#Series_2", "#YC_1"}), standin::Value("#Swap_3"));
    }

    const standin::Value curve = workbook::csv_grid("curve.csv");
    const standin::Value series = workbook::csv_grid("series.csv");
    const standin::Value factors = workbook::csv_grid("factors.csv");
};
