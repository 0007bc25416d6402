#include "core/index_key.hpp"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace qvl {

std::string NormaliseIndexKey(std::string_view text) {
    const std::string s(text);
    if (!s.empty()) {
        const char* begin = s.c_str();
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(begin, &end);
        // The whole text must be the number: a NUL inside it ends strtod's reading, not the text.
        if (end != begin && end == begin + s.size()) {
            // Whole numbers within the 64-bit range print as integers; the range test keeps the
            // conversion defined.
            if (std::isfinite(value) && value >= -9223372036854775808.0 &&
                value < 9223372036854775808.0) {
                const auto whole = static_cast<std::int64_t>(value);
                if (static_cast<double>(whole) == value) return std::to_string(whole);
            }
            char buf[512];
            std::snprintf(buf, sizeof buf, "%f", value);
            return buf;
        }
    }
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

}  // namespace qvl
