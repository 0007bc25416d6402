#include "http/utf8.hpp"

#include <cstddef>
#include <cstdint>

namespace win32util {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_continuation(unsigned char c, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return c >= low && c <= high;
}

// Decodes the sequence starting at text[i] into cp and returns the bytes consumed (at least
// one). An ill-formed sequence yields U+FFFD and consumes only its well-formed prefix, so that
// the byte that broke it starts the next sequence.
std::size_t next_code_point(std::string_view text, std::size_t i, char32_t& cp) {
    const auto at = [&](std::size_t k) -> int {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : -1;
    };
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    std::size_t length;
    unsigned char second_low = 0x80;
    unsigned char second_high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) second_low = 0xA0;   // overlong
        if (lead == 0xED) second_high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) second_low = 0x90;   // overlong
        if (lead == 0xF4) second_high = 0x8F;  // above U+10FFFF
    } else {
        cp = kReplacement;
        return 1;
    }
    char32_t value = lead & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
        const int c = at(k);
        const bool ok = c >= 0 && (k == 1 ? is_continuation(static_cast<unsigned char>(c),
                                                            second_low, second_high)
                                          : is_continuation(static_cast<unsigned char>(c)));
        if (!ok) {
            cp = kReplacement;
            return k;
        }
        value = (value << 6) | (static_cast<unsigned char>(c) & 0x3F);
    }
    cp = value;
    return length;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string ReplaceMalformedUtf8(std::string_view text) {
    // Request bodies are nearly always well-formed: find the first bad byte before copying.
    std::size_t i = 0;
    char32_t cp;
    while (i < text.size()) {
        const std::size_t n = next_code_point(text, i, cp);
        if (cp == kReplacement && !(n == 3 && text.substr(i, 3) == "\xEF\xBF\xBD")) break;
        i += n;
    }
    std::string out(text.substr(0, i));
    if (i == text.size()) return out;
    out.reserve(text.size() + 16);
    while (i < text.size()) {
        i += next_code_point(text, i, cp);
        append_utf8(out, cp);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp;
        i += next_code_point(text, i, cp);
        if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
        } else {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        }
    }
    return out;
}

}  // namespace win32util
