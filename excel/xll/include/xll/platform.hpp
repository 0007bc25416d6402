#pragma once

// Everything the add-in needs from the operating system, behind one small interface. One
// implementation per platform (platform_posix.cpp here); the rest of the add-in never asks the
// system directly.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "xll/host_api.hpp"

namespace xll::platform {

// UTF-8 to UTF-16 in the manner of the system's code-page conversion: with capacity 0 the
// needed length is returned; otherwise the units written, or 0 when out is too small. Invalid
// input bytes become U+FFFD.
int utf8_to_utf16(const char* text, int bytes, XCHAR* out, int capacity);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// Full path of the library this code lives in (empty when the system cannot tell).
std::u16string module_path();

struct LocalTime {
    int year, month, day, hour, minute, second, millisecond;
};
LocalTime local_time();

// Appends bytes to a file, creating it; failures are silently ignored.
void append_to_file(const std::u16string& path, std::string_view bytes);

enum class BoxIcon { none, error };
// A modal message to the user over the host's window (a line on standard error on POSIX).
void message_box(std::string_view text, std::string_view caption, BoxIcon icon);

// The host's "MdCallBack12" in the main program, or nullptr when it offers none.
HostCallback find_host_callback();

// The library's version block: the file version's two 32-bit words (major << 16 | minor,
// build << 16 | revision), and the strings of the "040904b0" table. Absent block: nullopt /
// empty text.
std::optional<std::array<std::uint32_t, 2>> file_version();
std::u16string version_string(std::u16string_view name);

// A version block carried in the library's code, for systems without version resources
// (POSIX): the add-in hands its own over while it loads, and file_version and version_string
// read it from then on; a library that hands over none has no block. The Windows layer reads
// the resource linked into the library instead and has no such call.
struct VersionString {
    std::u16string_view name;
    std::string_view value;
};
struct VersionBlock {
    std::array<std::uint32_t, 2> file_version;
    std::span<const VersionString> strings;
};
void use_version_block(const VersionBlock* block);

}  // namespace xll::platform
