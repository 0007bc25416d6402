#include "cli/render.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "host/value.hpp"
#include "xll/host_api.hpp"

namespace standin {

namespace {

std::string error_text(int code) {
    const std::optional<std::string_view> text = error_value_text(code);
    return text ? std::string(*text) : "#ERR" + std::to_string(code);
}

std::string json_number(double d) {
    return std::isfinite(d) ? shortest_number_text(d) : "null";
}

// Display width of a UTF-8 text, one column per character.
std::size_t width_of(std::string_view s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace

std::string cell_text(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::nil:
        case Value::Kind::missing:
            return "";
        case Value::Kind::number: {
            if (v.number() == 0) {
                return "0";  // also for -0, as a sheet shows it
            }
            char buffer[40];
            std::snprintf(buffer, sizeof buffer, "%.15g", v.number());
            return buffer;
        }
        case Value::Kind::text:
            return v.text();
        case Value::Kind::boolean:
            return v.boolean() ? "TRUE" : "FALSE";
        case Value::Kind::error:
            return error_text(v.error_code());
        case Value::Kind::grid:
            return cell_text(v.at(0, 0));  // what one cell shows of an array
    }
    return "";
}

std::string render_text(const Value& v) {
    if (v.kind() != Value::Kind::grid) {
        return cell_text(v) + "\n";
    }
    const Grid& g = v.grid();
    std::vector<std::size_t> widths(static_cast<std::size_t>(g.columns), 0);
    std::vector<std::string> texts;
    texts.reserve(g.cells.size());
    for (std::size_t i = 0; i < g.cells.size(); ++i) {
        texts.push_back(cell_text(g.cells[i]));
        auto& w = widths[i % widths.size()];
        w = std::max(w, width_of(texts.back()));
    }
    std::string out;
    for (int r = 0; r < g.rows; ++r) {
        std::string line;
        for (int c = 0; c < g.columns; ++c) {
            const auto i =
                static_cast<std::size_t>(r) * widths.size() + static_cast<std::size_t>(c);
            const std::string& t = texts[i];
            const std::string pad(widths[static_cast<std::size_t>(c)] - width_of(t), ' ');
            if (c > 0) {
                line += "  ";
            }
            line += g.cells[i].is_number() ? pad + t : t + pad;
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        out += line + "\n";
    }
    return out;
}

std::string json_string(std::string_view utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
                    out += buffer;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string render_json(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::nil:
        case Value::Kind::missing:
            return "null";
        case Value::Kind::number:
            return json_number(v.number());
        case Value::Kind::text:
            return json_string(v.text());
        case Value::Kind::boolean:
            return v.boolean() ? "true" : "false";
        case Value::Kind::error:
            return "{\"error\":" + json_string(error_text(v.error_code())) + "}";
        case Value::Kind::grid: {
            std::string out = "[";
            for (int r = 0; r < v.rows(); ++r) {
                out += r > 0 ? ",[" : "[";
                for (int c = 0; c < v.columns(); ++c) {
                    if (c > 0) {
                        out += ',';
                    }
                    out += render_json(v.at(r, c));
                }
                out += "]";
            }
            return out + "]";
        }
    }
    return "null";
}

}  // namespace standin
