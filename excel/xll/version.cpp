#include "xll/version.hpp"

#include <cstdio>

#include "xll/platform.hpp"

namespace xll {

std::string version_text_of(const std::optional<std::array<std::uint32_t, 2>>& words) {
    if (!words) {
        return {};
    }
    const auto [ms, ls] = *words;
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
    return text;
}

std::string build_text_of(std::string_view comments) {
    const auto on = comments.find(" on ");
    if (comments.size() >= 4 && on != std::string_view::npos) {
        return std::string(comments.substr(on + 4));
    }
    return std::string(comments);
}

const std::string& version_text() {
    static const std::string text = version_text_of(platform::file_version());
    return text;
}

const std::string& build_date_text() {
    static const std::string text =
        build_text_of(platform::utf16_to_utf8(platform::version_string(u"Comments")));
    return text;
}

}  // namespace xll
