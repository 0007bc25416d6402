#pragma once

#include <string>
#include <string_view>

#include "xll/platform.hpp"

namespace xll {

// Full path of the add-in library (empty when unknown or 260 characters or longer), its file
// name without folder and extension, and the log file next to it. Each computed once.
const std::u16string& module_path();
std::u16string module_name();
const std::u16string& log_path();

// The pure rules behind the above, for any path.
std::u16string module_name_of(std::u16string_view path);
std::u16string log_path_of(std::u16string_view module_path);

// Logging is off when the library loads; only the command "cellkit.ToggleLogging" flips it.
bool logging_enabled();
void toggle_logging_switch();

// Appends one time-stamped line to the log file while logging is on.
void LogLine(std::string_view text);
// "YYYY-MM-DD hh:mm:ss.mmm  text\r\n", cut at 2048 bytes.
std::string format_log_line(const platform::LocalTime& t, std::string_view text);

}  // namespace xll
