#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "xll/cell_readers.hpp"
#include "xll/host_api.hpp"

namespace xll {

// Longest string a cell value holds.
inline constexpr int charmax = 32767;

// The owning cell value. Exactly the host's XLOPER12 (no members of its own), so it is handed
// to the host as it stands. Strings and grids it builds are its own (malloc'ed, no ownership
// bit); values the host returned carry xlbitXLFree and go back to the host when released.
class xloper : public XLOPER12 {
  public:
    xloper() noexcept {
        val.num = 0;
        xltype = xltypeNil;
    }
    xloper(const XLOPER12& o);
    xloper(const xloper& o) : xloper(static_cast<const XLOPER12&>(o)) {}
    xloper(xloper&& o) noexcept;
    explicit xloper(double num) noexcept {
        val.num = num;
        xltype = xltypeNum;
    }
    explicit xloper(std::string_view utf8) : xloper() { str_alloc(utf8.data(), utf8.size()); }
    explicit xloper(std::u16string_view text) : xloper() { str_alloc(text.data(), text.size()); }
    ~xloper();

    static xloper boolean(bool b) noexcept;
    static xloper error(int err) noexcept;

    xloper& operator=(const XLOPER12& o);
    xloper& operator=(const xloper& o) { return *this = static_cast<const XLOPER12&>(o); }
    xloper& operator=(xloper&& o) noexcept;

    // A string of our own with the same length is rewritten in place rather than replaced, so
    // refilling a result with texts of unchanged lengths allocates nothing.
    xloper& str_alloc(const XCHAR* s, std::size_t len);
    xloper& str_alloc(const char* s, std::size_t len);

    // Gives the content back to whoever owns it and leaves nil.
    void free();
    void multi_free();

    std::uint32_t type() const noexcept { return type_of(*this); }
    bool IsDouble() const noexcept { return type() == xltypeNum; }
    bool IsString() const noexcept { return type() == xltypeStr; }
    bool IsError() const noexcept { return type() == xltypeErr; }
    bool IsMulti() const noexcept { return type() == xltypeMulti; }
    bool is_nil() const noexcept { return type() == xltypeNil; }
    bool IsNumeric() const noexcept { return is_numeric(*this); }
    int CharCount() const noexcept { return IsString() && val.str ? val.str[0] : 0; }

    int rows() const noexcept { return rows_of(*this); }
    int columns() const noexcept { return columns_of(*this); }
    std::size_t size() const noexcept;

    xloper& index(std::size_t i);
    const xloper& index(std::size_t i) const;

    xloper& multi_realloc(int rows, int columns);

    // For host results that must be numbers: only a number passes.
    double as_number() const;

  private:
    void take(XLOPER12& o) noexcept;
    XCHAR* reusable_string(std::size_t len) noexcept;
    void make_grid(int rows, int columns);
    xloper* elements() noexcept { return reinterpret_cast<xloper*>(val.array.lparray); }
    const xloper* elements() const noexcept {
        return reinterpret_cast<const xloper*>(val.array.lparray);
    }
};

static_assert(sizeof(xloper) == sizeof(XLOPER12));

// The shared constant values, passed by address to the host.
inline constexpr XLOPER12 False{.val = {.xbool = 0}, .xltype = xltypeBool};
inline constexpr XLOPER12 True{.val = {.xbool = 1}, .xltype = xltypeBool};
inline constexpr XLOPER12 Nil{.val = {.num = 0}, .xltype = xltypeNil};

}  // namespace xll
