#include "xll/log.hpp"

#include <atomic>
#include <cstdio>

namespace xll {

namespace {

std::atomic<bool> logging{false};

constexpr std::size_t longest_path = 260;
constexpr std::size_t longest_line = 2048;

}  // namespace

const std::u16string& module_path() {
    static const std::u16string path = [] {
        std::u16string p = platform::module_path();
        return p.size() >= longest_path ? std::u16string() : p;
    }();
    return path;
}

std::u16string module_name() {
    return module_name_of(module_path());
}

const std::u16string& log_path() {
    static const std::u16string path = log_path_of(module_path());
    return path;
}

std::u16string module_name_of(std::u16string_view path) {
    const auto slash = path.find_last_of(u"/\\");
    std::u16string_view name = slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of(u'.');
    if (dot != std::u16string_view::npos) {
        name = name.substr(0, dot);
    }
    return std::u16string(name);
}

std::u16string log_path_of(std::u16string_view module_path) {
    std::u16string path(module_path);
    if (path.size() > 4) {
        path.replace(path.size() - 3, 3, u"log");
    }
    return path;
}

bool logging_enabled() {
    return logging.load();
}

void toggle_logging_switch() {
    logging = !logging.load();
}

std::string format_log_line(const platform::LocalTime& t, std::string_view text) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d  ", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.millisecond);
    std::string line(stamp);
    line += text;
    line += "\r\n";
    if (line.size() > longest_line) {
        line.resize(longest_line);
    }
    return line;
}

void LogLine(std::string_view text) {
    if (!logging_enabled()) {
        return;
    }
    const std::u16string& path = log_path();
    if (path.empty()) {
        return;
    }
    platform::append_to_file(path, format_log_line(platform::local_time(), text));
}

}  // namespace xll
