#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "text/utf.hpp"
#include "xll/platform.hpp"

namespace xll::platform {

namespace {

std::string native_path(const std::u16string& path) {
    return utf16_to_utf8(path);
}

std::u16string from_utf8(std::string_view text) {
    return qvl::text::utf8_to_utf16(text);
}

// Set while the add-in loads (before any of its functions can run), read afterwards.
const VersionBlock* handed_block = nullptr;

}  // namespace

int utf8_to_utf16(const char* text, int bytes, XCHAR* out, int capacity) {
    if (text == nullptr || bytes <= 0 || capacity < 0) {
        return 0;
    }
    const std::u16string wide = from_utf8(std::string_view(text, static_cast<std::size_t>(bytes)));
    const int needed = static_cast<int>(wide.size());
    if (capacity == 0) {
        return needed;
    }
    if (out == nullptr || capacity < needed) {
        return 0;
    }
    std::copy(wide.begin(), wide.end(), out);
    return needed;
}

std::string utf16_to_utf8(std::u16string_view text) {
    return qvl::text::utf16_to_utf8(text);
}

std::u16string module_path() {
    Dl_info info{};
    // Any address inside this library names it; dladdr takes no reference on the module.
    if (dladdr(reinterpret_cast<void*>(&module_path), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) {
        return from_utf8(info.dli_fname);
    }
    return from_utf8(resolved);
}

LocalTime local_time() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm tm{};
    localtime_r(&now.tv_sec, &tm);
    return {tm.tm_year + 1900,
            tm.tm_mon + 1,
            tm.tm_mday,
            tm.tm_hour,
            tm.tm_min,
            tm.tm_sec,
            static_cast<int>(now.tv_nsec / 1000000)};
}

void append_to_file(const std::u16string& path, std::string_view bytes) {
    const int fd =
        ::open(native_path(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void message_box(std::string_view text, std::string_view caption, BoxIcon icon) {
    std::string line(caption);
    line += icon == BoxIcon::error ? " [error]: " : ": ";
    for (char c : text) {
        line += (c == '\n' || c == '\r') ? ' ' : c;
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

HostCallback find_host_callback() {
    void* main_program = dlopen(nullptr, RTLD_NOW);
    if (main_program == nullptr) {
        return nullptr;
    }
    void* entry = dlsym(main_program, "MdCallBack12");
    dlclose(main_program);
    return reinterpret_cast<HostCallback>(entry);
}

void use_version_block(const VersionBlock* block) {
    handed_block = block;
}

std::optional<std::array<std::uint32_t, 2>> file_version() {
    if (handed_block == nullptr) {
        return std::nullopt;
    }
    return handed_block->file_version;
}

std::u16string version_string(std::u16string_view name) {
    if (handed_block == nullptr) {
        return {};
    }
    for (const VersionString& e : handed_block->strings) {
        if (e.name == name) {
            return from_utf8(e.value);
        }
    }
    return {};
}

}  // namespace xll::platform
