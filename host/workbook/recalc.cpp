#include "workbook/recalc.hpp"

#include <stdexcept>

#include "xll/host_api.hpp"

namespace standin::workbook {

std::vector<Value> fill_range(const Value& result, std::int32_t rows, std::int32_t columns) {
    std::vector<Value> cells;
    cells.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
    const auto shown = [](const Value& v) {
        return v.kind() == Value::Kind::nil || v.kind() == Value::Kind::missing ? Value(0) : v;
    };
    if (result.kind() != Value::Kind::grid) {
        cells.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns),
                     shown(result));
        return cells;
    }
    const int grid_rows = result.rows();
    const int grid_columns = result.columns();
    for (std::int32_t r = 0; r < rows; ++r) {
        for (std::int32_t c = 0; c < columns; ++c) {
            const int from_row = grid_rows == 1 ? 0 : r;
            const int from_column = grid_columns == 1 ? 0 : c;
            cells.push_back(from_row < grid_rows && from_column < grid_columns
                                ? shown(result.at(from_row, from_column))
                                : Value::error(xlerrNA));
        }
    }
    return cells;
}

Recalculation::Recalculation(Host& host, const Workbook& book, const Plan& plan)
    : host_(host), book_(book), plan_(plan), outcomes_(plan.steps.size()) {}

std::string Recalculation::host_sheet_name(int sheet) const {
    return "[" + book_.file_name + "]" + book_.sheets[static_cast<std::size_t>(sheet)].name;
}

void Recalculation::run() {
    for (std::size_t i = 0; i < plan_.steps.size(); ++i) {
        const Step& step = plan_.steps[i];
        const Formula& f = *step.formula;
        Cell cell;
        cell.sheet = host_sheet_name(step.sheet);
        cell.row = f.row;
        cell.column = f.column;
        cell.rows = f.rows;
        cell.columns = f.columns;
        Value result;
        try {
            result = evaluate(step.call, cell);
        } catch (const std::exception& e) {
            // A value the host cannot pass (a text longer than a cell holds): the formula
            // shows #VALUE!, as in the host.
            outcomes_[i].fault = e.what();
            result = Value::error(xlerrValue);
        }
        outcomes_[i].cells = fill_range(result, f.rows, f.columns);
    }
}

Value Recalculation::evaluate(const Node& node, const Cell& cell) {
    switch (node.kind) {
        case Node::Kind::missing:
            return Value::missing();
        case Node::Kind::number:
            return Value(node.number);
        case Node::Kind::text:
            return Value(node.text);
        case Node::Kind::boolean:
            return Value::boolean(node.boolean);
        case Node::Kind::error:
            return Value::error(node.error);
        case Node::Kind::name:  // resolved to references by the planner
        case Node::Kind::reference: {
            const Reference& r = node.reference;
            if (r.first_row == r.last_row && r.first_column == r.last_column) {
                return current(node.sheet, r.first_row, r.first_column);
            }
            // A rectangle passes its values row by row, empty cells as nil.
            std::vector<Value> cells;
            cells.reserve(static_cast<std::size_t>(r.last_row - r.first_row + 1) *
                          static_cast<std::size_t>(r.last_column - r.first_column + 1));
            for (std::int32_t row = r.first_row; row <= r.last_row; ++row) {
                for (std::int32_t column = r.first_column; column <= r.last_column; ++column) {
                    cells.push_back(current(node.sheet, row, column));
                }
            }
            return Value::grid(r.last_row - r.first_row + 1, r.last_column - r.first_column + 1,
                               std::move(cells));
        }
        case Node::Kind::call: {
            std::vector<Value> args;
            args.reserve(node.args.size());
            for (const Node& arg : node.args) {
                args.push_back(evaluate(arg, cell));
            }
            return host_.call_from(cell, node.text, args);
        }
    }
    return Value();
}

const Value& Recalculation::current(int sheet, std::int32_t row, std::int32_t column) const {
    const int step = plan_.owner(sheet, row, column);
    if (step >= 0) {
        const Outcome& o = outcomes_[static_cast<std::size_t>(step)];
        if (!o.cells.empty()) {
            const Formula& f = *plan_.steps[static_cast<std::size_t>(step)].formula;
            return o.cells[static_cast<std::size_t>(row - f.row) * f.columns +
                           static_cast<std::size_t>(column - f.column)];
        }
    }
    return book_.sheets[static_cast<std::size_t>(sheet)].value(row, column);
}

std::vector<std::vector<StoredCell>> Recalculation::changes() const {
    std::vector<std::vector<StoredCell>> out(book_.sheets.size());
    for (std::size_t i = 0; i < plan_.steps.size(); ++i) {
        const Step& step = plan_.steps[i];
        const Formula& f = *step.formula;
        const Outcome& o = outcomes_[i];
        for (std::int32_t r = 0; r < f.rows && !o.cells.empty(); ++r) {
            for (std::int32_t c = 0; c < f.columns; ++c) {
                out[static_cast<std::size_t>(step.sheet)].push_back(
                    StoredCell{cell_key(f.row + r, f.column + c),
                               o.cells[static_cast<std::size_t>(r) * f.columns +
                                       static_cast<std::size_t>(c)]});
            }
        }
    }
    for (auto& sheet : out) {
        std::stable_sort(sheet.begin(), sheet.end(),
                         [](const StoredCell& a, const StoredCell& b) { return a.key < b.key; });
    }
    return out;
}

}  // namespace standin::workbook
