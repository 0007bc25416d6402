#pragma once

#include <string>
#include <string_view>

namespace qvl::objects {

// The one normal form of a series index key, used for worksheet keys, series-table cells,
// factor-table headers and the HTTP "Index" member: a text that is wholly a number becomes its
// integer digits (or "%f" when it has a fraction); other text loses its surrounding blanks.
std::string NormaliseIndexKey(std::string_view text);

}  // namespace qvl::objects
