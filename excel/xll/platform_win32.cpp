// The platform layer on Windows: the system's own conversions, module queries, clock, files,
// message boxes and version resource.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <winver.h>

#include <memory>
#include <string>
#include <vector>

#include "xll/platform.hpp"

static_assert(sizeof(wchar_t) == sizeof(XCHAR), "UTF-16 code units on both sides");

namespace xll::platform {

namespace {

const wchar_t* wide(const XCHAR* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

std::wstring wide_from_utf8(std::string_view text) {
    const int bytes = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
    if (n <= 0) {
        return {};
    }
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, out.data(), n);
    return out;
}

// The library's own version block, read in full once.
const std::vector<unsigned char>& version_block() {
    static const std::vector<unsigned char> block = [] {
        const std::u16string path = module_path();
        std::vector<unsigned char> data;
        if (path.empty()) {
            return data;
        }
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(wide(path.c_str()), &ignored);
        if (size == 0) {
            return data;
        }
        data.resize(size);
        if (!GetFileVersionInfoW(wide(path.c_str()), 0, size, data.data())) {
            data.clear();
        }
        return data;
    }();
    return block;
}

}  // namespace

int utf8_to_utf16(const char* text, int bytes, XCHAR* out, int capacity) {
    if (text == nullptr || bytes <= 0 || capacity < 0) {
        return 0;
    }
    // Without MB_ERR_INVALID_CHARS the system puts U+FFFD for invalid bytes; a buffer too small
    // fails the call, which gives 0.
    return MultiByteToWideChar(CP_UTF8, 0, text, bytes,
                               capacity == 0 ? nullptr : reinterpret_cast<wchar_t*>(out), capacity);
}

std::string utf16_to_utf8(std::u16string_view text) {
    if (text.empty()) {
        return {};
    }
    const int units = static_cast<int>(text.size());
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide(text.data()), units, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        return {};
    }
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide(text.data()), units, out.data(), n, nullptr, nullptr);
    return out;
}

std::u16string module_path() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&module_path), &self)) {
        return {};
    }
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(self, buffer, MAX_PATH);
    // A full buffer means the path was cut.
    if (n == 0 || n >= MAX_PATH) {
        return {};
    }
    return std::u16string(reinterpret_cast<const XCHAR*>(buffer), n);
}

LocalTime local_time() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

void append_to_file(const std::u16string& path, std::string_view bytes) {
    // Append-only access makes every write land at the end, also with other writers.
    const HANDLE file =
        CreateFileW(wide(path.c_str()), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            break;
        }
        done += written;
    }
    CloseHandle(file);
}

void message_box(std::string_view text, std::string_view caption, BoxIcon icon) {
    const std::wstring body = wide_from_utf8(text);
    const std::wstring title = wide_from_utf8(caption);
    // Errors go over the window in front, other messages over the host's active window.
    const HWND owner = icon == BoxIcon::error ? GetForegroundWindow() : GetActiveWindow();
    const UINT style = MB_OK | (icon == BoxIcon::error ? MB_ICONERROR : 0u);
    MessageBoxW(owner, body.c_str(), title.c_str(), style);
}

HostCallback find_host_callback() {
    const HMODULE host = GetModuleHandleW(nullptr);
    if (host == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<HostCallback>(
        reinterpret_cast<void*>(GetProcAddress(host, "MdCallBack12")));
}

std::optional<std::array<std::uint32_t, 2>> file_version() {
    const std::vector<unsigned char>& block = version_block();
    if (block.empty()) {
        return std::nullopt;
    }
    void* value = nullptr;
    UINT size = 0;
    if (!VerQueryValueW(block.data(), L"\\", &value, &size) || value == nullptr ||
        size < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    return std::array<std::uint32_t, 2>{info->dwFileVersionMS, info->dwFileVersionLS};
}

std::u16string version_string(std::u16string_view name) {
    const std::vector<unsigned char>& block = version_block();
    if (block.empty()) {
        return {};
    }
    std::u16string query = u"\\StringFileInfo\\040904b0\\";
    query += name;
    void* value = nullptr;
    UINT units = 0;
    if (!VerQueryValueW(block.data(), wide(query.c_str()), &value, &units) || value == nullptr ||
        units == 0) {
        return {};
    }
    // The count may or may not include the terminating null, depending on who wrote the block.
    std::u16string text(static_cast<const XCHAR*>(value), units);
    while (!text.empty() && text.back() == u'\0') {
        text.pop_back();
    }
    return text;
}

}  // namespace xll::platform
