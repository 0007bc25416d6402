#pragma once

#include <string>
#include <string_view>

namespace qvl {

// The one normal form of a series index key, used for worksheet keys, series-table cells,
// factor-table headers, the HTTP "Index" member and the Python package's index: a text that is
// wholly a number becomes its integer digits (or "%f" when it has a fraction); other text loses
// its surrounding blanks.
std::string NormaliseIndexKey(std::string_view text);

}  // namespace qvl
