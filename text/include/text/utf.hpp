#pragma once

// UTF-8 and UTF-16 conversions shared by the add-in, the HTTP service and the stand-in host.
// None of them fails: every maximal ill-formed subsequence of UTF-8 and every unpaired
// surrogate of UTF-16 becomes U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>

namespace qvl::text {

inline constexpr char32_t replacement_character = 0xFFFD;

// Decodes the code point starting at text[i] into cp and returns the bytes it took (at least
// one). An ill-formed sequence gives U+FFFD and takes only its well-formed prefix, so that the
// byte that broke it starts the next sequence.
std::size_t decode_utf8(std::string_view text, std::size_t i, char32_t& cp);
void append_utf8(std::string& out, char32_t cp);

std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);
// The text with its ill-formed sequences replaced; well-formed text comes back unchanged.
std::string replace_malformed_utf8(std::string_view text);

}  // namespace qvl::text
