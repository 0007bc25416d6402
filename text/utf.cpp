#include "text/utf.hpp"

namespace qvl::text {

namespace {

bool in_range(int c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
}

void append_utf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

}  // namespace

std::size_t decode_utf8(std::string_view text, std::size_t i, char32_t& cp) {
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
        cp = replacement_character;
        return 1;
    }
    char32_t value = lead & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
        const int c = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : -1;
        const bool ok = k == 1 ? in_range(c, second_low, second_high) : in_range(c, 0x80, 0xBF);
        if (!ok) {
            cp = replacement_character;
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

std::u16string utf8_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp;
        i += decode_utf8(text, i, cp);
        append_utf16(out, cp);
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            append_utf8(out, replacement_character);
        } else {
            append_utf8(out, u);
        }
    }
    return out;
}

std::string replace_malformed_utf8(std::string_view text) {
    // Nearly all texts are well-formed: find the first bad byte before copying.
    std::size_t i = 0;
    char32_t cp;
    while (i < text.size()) {
        const std::size_t n = decode_utf8(text, i, cp);
        if (cp == replacement_character && !(n == 3 && text.substr(i, 3) == "\xEF\xBF\xBD")) {
            break;
        }
        i += n;
    }
    std::string out(text.substr(0, i));
    if (i == text.size()) return out;
    out.reserve(text.size() + 16);
    while (i < text.size()) {
        i += decode_utf8(text, i, cp);
        append_utf8(out, cp);
    }
    return out;
}

}  // namespace qvl::text
