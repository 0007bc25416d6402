#pragma once

// Which formulas of a workbook are recalculated, in which order, and what is listed instead:
// QVL formulas whose syntax the reader does not take, and other formulas that depend on
// recalculated cells.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.hpp"
#include "workbook/formula.hpp"
#include "workbook/workbook.hpp"

namespace standin::workbook {

// The registered worksheet function a formula names (any case, with or without "_xll."), or
// nullptr.
using FunctionLookup = std::function<const Registration*(std::string_view name)>;

// The worksheet functions the host's add-in registered, found as the host finds them.
FunctionLookup registered_functions(const Host& host);

// The most cells the references of one formula may hold together (one whole column).
inline constexpr std::uint64_t most_formula_cells = 1ull << 20;

// One formula to recalculate: its call, with the registered function texts and each reference
// (defined names included) resolved to a sheet.
struct Step {
    int sheet = 0;
    const Formula* formula = nullptr;
    Node call;
    Area range() const {
        return Area{sheet, formula->row, formula->column, formula->row + formula->rows - 1,
                    formula->column + formula->columns - 1};
    }
};

// A QVL formula this reader does not take; it keeps its stored value.
struct Problem {
    int sheet = 0;
    const Formula* formula = nullptr;
    std::size_t offset = 0;  // bytes of the formula text
    std::string message;
};

// A formula that is not recalculated though it references recalculated cells.
struct Stale {
    int sheet = 0;
    const Formula* formula = nullptr;
    std::vector<std::string> depends_on;  // its references that reach them, as Sheet!A1:B2
};

// A circular reference among the formulas to recalculate; the message names its cells.
class CircularReference : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Plan {
  public:
    std::vector<Step> steps;  // in the order to evaluate
    std::vector<Problem> problems;
    std::vector<Stale> stale;

    // The step whose range holds the cell, or -1.
    int owner(int sheet, std::int32_t row, std::int32_t column) const;

    // Every step whose range meets the area.
    template <typename Visit>
    void owners(const Area& area, Visit&& visit) const;

    // Makes owner() and owners() answer for the steps as they now stand.
    void index(std::size_t sheet_count);

  private:
    struct Owned {
        std::uint64_t key;
        int step;
    };
    std::vector<std::vector<Owned>> owned_;  // per sheet, sorted by key
};

// Plans the recalculation of every formula that calls a registered function. Throws
// CircularReference.
Plan plan_recalculation(const Workbook& book, const FunctionLookup& lookup);

// "Book!B7" or "Book!D2:E16".
std::string area_text(const Workbook& book, const Area& area);

template <typename Visit>
void Plan::owners(const Area& area, Visit&& visit) const {
    if (area.sheet < 0 || area.sheet >= static_cast<int>(owned_.size())) {
        return;
    }
    const std::vector<Owned>& owned = owned_[static_cast<std::size_t>(area.sheet)];
    auto it =
        std::lower_bound(owned.begin(), owned.end(), cell_key(area.first_row, area.first_column),
                         [](const Owned& o, std::uint64_t key) { return o.key < key; });
    const std::uint64_t last = cell_key(area.last_row, area.last_column);
    for (; it != owned.end() && it->key <= last; ++it) {
        if (area.contains(key_row(it->key), key_column(it->key))) {
            visit(it->step);
        }
    }
}

}  // namespace standin::workbook
