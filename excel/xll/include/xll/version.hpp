#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace xll {

// The add-in's version and build date texts, read once from the library's version block.
const std::string& version_text();
const std::string& build_date_text();

// The rules behind them: "major.minor.build.revision" from the two version words (empty
// without a version block), and what follows the first " on " of the Comments value (the
// whole value when it is shorter than 4 characters or has no " on ").
std::string version_text_of(const std::optional<std::array<std::uint32_t, 2>>& words);
std::string build_text_of(std::string_view comments);

}  // namespace xll
