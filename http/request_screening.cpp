// What both transports judge by a request's head alone, before any of its body is read.

#include <algorithm>
#include <limits>

#include "http/http_transport.hpp"
#include "text/utf.hpp"

namespace win32util {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equals_caseless(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A target in absolute form, "http://authority/path?query" (HTTP/1.1 servers must accept it),
// split into its authority and the rest, which starts with the path; nothing for other forms.
struct AbsoluteTarget {
    std::string_view authority;
    std::string_view rest;
};

std::optional<AbsoluteTarget> absolute_target(std::string_view target) {
    constexpr std::string_view scheme = "http://";
    if (!equals_caseless(target.substr(0, scheme.size()), scheme)) return std::nullopt;
    target.remove_prefix(scheme.size());
    const auto end = std::min(target.find_first_of("/?"), target.size());
    return AbsoluteTarget{target.substr(0, end), target.substr(end)};
}

// What a Host value or a target's authority names. Web pages reach a loopback service only
// under a foreign name (DNS rebinding), so only localhost, 127.0.0.1 and [::1] name this
// machine, with or without a port. An empty port is the scheme's default; a port no one can
// listen on makes the request malformed.
enum class Authority { loopback, foreign, bad_port };

Authority judge_authority(std::string_view authority) {
    std::string_view name = authority;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return Authority::foreign;
        name = authority.substr(0, close + 1);
        port = authority.substr(close + 1);
    } else if (const auto colon = authority.find(':'); colon != std::string_view::npos) {
        name = authority.substr(0, colon);
        port = authority.substr(colon);
    }
    if (name != "127.0.0.1" && name != "[::1]" && !equals_caseless(name, "localhost")) {
        return Authority::foreign;
    }
    if (port.empty()) return Authority::loopback;
    if (port.front() != ':') return Authority::foreign;
    port.remove_prefix(1);
    if (port.empty()) return Authority::loopback;
    const auto number = decimal(port);
    if (!number) return Authority::foreign;
    return *number >= 1 && *number <= 65535 ? Authority::loopback : Authority::bad_port;
}

std::optional<HttpServer::Response> refuse_authority(std::string_view authority) {
    switch (judge_authority(authority)) {
        case Authority::foreign:
            return listener_error(403, "Forbidden", "forbidden");
        case Authority::bad_port:
            return listener_error(400, "Bad Request", "bad request");
        case Authority::loopback:
            break;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> decimal(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    constexpr auto most = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        value = value > (most - digit) / 10 ? most : value * 10 + digit;
    }
    return value;
}

std::optional<HttpServer::Response> screen(const RequestHead& head) {
    // Browsers send Origin; no web page may drive the calculator.
    if (head.origin) return listener_error(403, "Forbidden", "forbidden");
    if (head.hosts > 1 || (head.hosts == 0 && !head.http_1_0)) {
        return listener_error(400, "Bad Request", "bad request");
    }
    if (head.hosts == 1) {
        if (auto refusal = refuse_authority(head.host)) return refusal;
    }
    // A target in absolute form names the host too, and must name this machine as well.
    if (const auto absolute = absolute_target(head.target)) {
        if (auto refusal = refuse_authority(absolute->authority)) return refusal;
    }
    // Ambiguous framing is how requests get smuggled past a proxy: one length, of digits
    // alone, and never beside a transfer coding.
    const auto length = decimal(head.length);
    if (head.lengths > 1 || (head.lengths == 1 && (head.codings > 0 || !length))) {
        return listener_error(400, "Bad Request", "bad request");
    }
    // Chunked is the one coding taken; with any other ("gzip, chunked") the body would reach
    // the handler still coded.
    if (head.codings > 1 ||
        (head.codings == 1 && !equals_caseless(trimmed(head.coding), "chunked"))) {
        return listener_error(501, "Not Implemented", "transfer coding not supported");
    }
    if (head.lengths == 1 && *length > HttpServer::max_body_size) {
        return listener_error(413, "Payload Too Large", "request body too large");
    }
    return std::nullopt;
}

std::u16string decode_path(std::string_view target) {
    std::string bytes;
    if (const auto absolute = absolute_target(target)) {
        target = absolute->rest;
        if (target.empty() || target.front() != '/') bytes += '/';
    }
    target = target.substr(0, target.find('?'));
    bytes.reserve(bytes.size() + target.size());
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (target[i] == '%' && i + 2 < target.size()) {
            const int high = hex_digit(target[i + 1]);
            const int low = hex_digit(target[i + 2]);
            if (high >= 0 && low >= 0) {
                bytes += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        bytes += target[i];
    }
    return qvl::text::utf8_to_utf16(bytes);
}

}  // namespace win32util
