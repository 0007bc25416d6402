#pragma once

#include <string>
#include <vector>

#include "host/value.hpp"
#include "workbook/workbook.hpp"

namespace standin::workbook {

// Writes a copy of the workbook's file to out: the cells listed by sheet (sorted by cell) get
// the new values as their cached values, and the workbook asks the host to recalculate every
// formula when it opens the copy. Every other zip entry is copied unchanged, and the changed
// parts keep everything but those values. Throws BadFile when the workbook cannot be read
// again and std::runtime_error naming out when the copy cannot be written.
void write_copy(const Workbook& book, const std::vector<std::vector<StoredCell>>& changes,
                const std::string& out);

// The text a cell caches for a number: the shortest that reads back the same.
std::string number_text(double d);

}  // namespace standin::workbook
