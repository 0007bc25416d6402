#pragma once

#include <optional>
#include <string>

#include "cli/runner.hpp"
#include "host/host.hpp"
#include "workbook/workbook.hpp"

namespace standin {

// qvl-host --workbook: recalculates every formula of the workbook that calls the loaded
// add-in, prints each recalculated cell or range with its value (text, or one JSON object per
// cell), lists the formulas left as stored, and writes the copy to out when one is asked for.
// The exit status is 0, 1 when a cell was faulty or the formulas form a cycle, 2 when the copy
// cannot be written; the run failed (nothing to serve) in the last two cases.
struct WorkbookOutcome {
    int status = 0;
    bool failed = false;
};
WorkbookOutcome run_workbook(Host& host, Printer& out, const workbook::Workbook& book,
                             const std::optional<std::string>& copy);

}  // namespace standin
