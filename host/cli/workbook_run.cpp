#include "cli/workbook_run.hpp"

#include <iostream>

#include "cli/render.hpp"
#include "workbook/plan.hpp"
#include "workbook/recalc.hpp"
#include "workbook/write.hpp"

namespace standin {

namespace {

using namespace workbook;

void json_line(const std::string& members) {
    std::cout << '{' << members << "}\n";
}

std::string cell_text_of(const Workbook& book, int sheet, std::int32_t row, std::int32_t column) {
    return area_text(book, Area{sheet, row, column, row, column});
}

void print_cells(const Workbook& book, const Step& step, const Outcome& outcome, Printer& out) {
    const Formula& f = *step.formula;
    const Area range = step.range();
    const std::string formula = "=" + f.text;
    if (!out.json()) {
        const Value shown = f.rows * f.columns == 1 ? outcome.cells[0]
                                                    : Value::grid(f.rows, f.columns, outcome.cells);
        out.result(0, "", area_text(book, range) + " = " + f.text, shown, true);
        return;
    }
    const std::string in_range =
        range.cells() > 1 ? ",\"range\":" + json_string(area_text(book, range)) : "";
    for (std::int32_t r = 0; r < f.rows; ++r) {
        for (std::int32_t c = 0; c < f.columns; ++c) {
            json_line(
                "\"cell\":" + json_string(cell_text_of(book, step.sheet, f.row + r, f.column + c)) +
                in_range + ",\"formula\":" + json_string(formula) + ",\"value\":" +
                render_json(outcome.cells[static_cast<std::size_t>(r) * f.columns +
                                          static_cast<std::size_t>(c)]));
        }
    }
}

// A fault in a cell, with the formula and a mark under the place when there is one.
void print_fault(const Workbook& book, int sheet, const Formula& f, int column,
                 const std::string& message, Printer& out) {
    const std::string cell = cell_text_of(book, sheet, f.row, f.column);
    const std::string formula = "=" + f.text;
    if (out.json()) {
        json_line("\"file\":" + json_string(book.path) + ",\"cell\":" + json_string(cell) +
                  ",\"formula\":" + json_string(formula) +
                  (column > 0 ? std::string(",\"column\":").append(std::to_string(column))
                              : std::string()) +
                  ",\"error\":" + json_string(message));
        return;
    }
    std::cout.flush();
    std::cerr << book.path << ": " << cell;
    if (column > 0) {
        std::cerr << ':' << column;
    }
    std::cerr << ": error: " << message << "\n  " << formula << '\n';
    if (column > 0) {
        std::cerr << "  " << std::string(static_cast<std::size_t>(column - 1), ' ') << "^\n";
    }
}

void print_file_error(const std::string& file, const std::string& message, Printer& out) {
    if (out.json()) {
        json_line("\"file\":" + json_string(file) + ",\"error\":" + json_string(message));
        return;
    }
    std::cout.flush();
    std::cerr << file << ": error: " << message << '\n';
}

void print_stale(const Workbook& book, const Stale& s, Printer& out) {
    const std::string cell = cell_text_of(book, s.sheet, s.formula->row, s.formula->column);
    const std::string formula = "=" + s.formula->text;
    std::string list;
    for (const std::string& d : s.depends_on) {
        list += (list.empty() ? "" : out.json() ? "," : ", ") + (out.json() ? json_string(d) : d);
    }
    if (out.json()) {
        json_line("\"cell\":" + json_string(cell) + ",\"formula\":" + json_string(formula) +
                  ",\"not recalculated\":[" + list + "]");
        return;
    }
    std::cout.flush();
    std::cerr << book.path << ": " << cell << ": not recalculated: " << formula << " depends on "
              << list << '\n';
}

}  // namespace

WorkbookOutcome run_workbook(Host& host, Printer& out, const Workbook& book,
                             const std::optional<std::string>& copy) {
    Plan plan;
    try {
        plan = plan_recalculation(book, registered_functions(host));
    } catch (const CircularReference& e) {
        print_file_error(book.path, e.what(), out);
        return {1, true};
    }
    Recalculation recalculation(host, book, plan);
    recalculation.run();

    int status = 0;
    const auto& outcomes = recalculation.outcomes();
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        print_cells(book, plan.steps[i], outcomes[i], out);
        if (!outcomes[i].fault.empty()) {
            print_fault(book, plan.steps[i].sheet, *plan.steps[i].formula, 0, outcomes[i].fault,
                        out);
            status = 1;
        }
    }
    for (const Problem& p : plan.problems) {
        print_fault(book, p.sheet, *p.formula, character_column(p.formula->text, p.offset) + 1,
                    p.message + "; the cell keeps its stored value", out);
        status = 1;
    }
    for (const Stale& s : plan.stale) {
        print_stale(book, s, out);
    }
    for (std::size_t seen = 0; seen < host.faults().size(); ++seen) {
        out.warning(0, "the add-in broke the host protocol: " + host.faults()[seen]);
    }
    std::cout.flush();
    if (copy) {
        try {
            write_copy(book, recalculation.changes(), *copy);
        } catch (const std::exception& e) {
            print_file_error(*copy, e.what(), out);
            return {2, true};
        }
    }
    return {status, false};
}

}  // namespace standin
