#pragma once

#include <string>
#include <string_view>

namespace win32util {

// Both conversions replace every maximal ill-formed subsequence by U+FFFD and never fail.
std::string ReplaceMalformedUtf8(std::string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace win32util
