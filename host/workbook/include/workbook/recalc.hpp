#pragma once

// Evaluating a plan through the stand-in host: each call is made from its cell, as the host
// makes it, and each result fills its cell or array range as the host fills it.

#include <string>
#include <vector>

#include "host/host.hpp"
#include "host/value.hpp"
#include "workbook/plan.hpp"
#include "workbook/workbook.hpp"

namespace standin::workbook {

// What a recalculated formula shows.
struct Outcome {
    std::vector<Value> cells;  // its range, row by row
    std::string fault;         // why no call could be made (the cells then show #VALUE!)
};

// The values a result shows in a range of rows by columns: a single value everywhere, a
// one-row grid repeated down, a one-column grid across, otherwise the grid cut to the range
// with #N/A beyond it. Empty values show 0, as in the host.
std::vector<Value> fill_range(const Value& result, std::int32_t rows, std::int32_t columns);

class Recalculation {
  public:
    Recalculation(Host& host, const Workbook& book, const Plan& plan);

    // Evaluates every step of the plan in its order.
    void run();

    // By step of the plan.
    const std::vector<Outcome>& outcomes() const { return outcomes_; }

    // The new values by sheet, sorted by cell, for writing a copy.
    std::vector<std::vector<StoredCell>> changes() const;

    // The host's name of a sheet: "[Book.xlsx]Sheet".
    std::string host_sheet_name(int sheet) const;

  private:
    Value evaluate(const Node& node, const Cell& cell);
    const Value& current(int sheet, std::int32_t row, std::int32_t column) const;

    Host& host_;
    const Workbook& book_;
    const Plan& plan_;
    std::vector<Outcome> outcomes_;
};

}  // namespace standin::workbook
