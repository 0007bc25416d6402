#include "xll/xloper.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "xll/ensure.hpp"
#include "xll/host_call.hpp"
#include "xll/platform.hpp"

namespace xll {

namespace {

XCHAR* allocate_string(std::size_t count) {
    auto* buffer = static_cast<XCHAR*>(std::malloc((count + 2) * sizeof(XCHAR)));
    if (buffer == nullptr) {
        throw std::bad_alloc();
    }
    buffer[0] = static_cast<XCHAR>(count);
    buffer[count + 1] = 0;
    return buffer;
}

// Writes s widened into out; false when a byte was not ASCII (out then holds nonsense).
bool widen_ascii(const char* s, std::size_t len, XCHAR* out) noexcept {
    unsigned char any = 0;
    for (std::size_t i = 0; i < len; ++i) {
        const auto byte = static_cast<unsigned char>(s[i]);
        any |= byte;
        out[i] = byte;
    }
    return any < 0x80;
}

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

}  // namespace

xloper::xloper(const XLOPER12& o) : xloper() {
    switch (type_of(o)) {
        case xltypeNum:
        case xltypeBool:
        case xltypeErr:
        case xltypeInt:
        case xltypeMissing:
        case xltypeNil:
        case xltypeRef:
        case xltypeSRef:
        case xltypeBigData:
            // A copy never owns the source's host memory, so the ownership bits stay behind.
            val = o.val;
            xltype = type_of(o);
            break;
        case xltypeStr:
            if (o.val.str == nullptr) {
                str_alloc(static_cast<const XCHAR*>(nullptr), 0);
            } else {
                str_alloc(o.val.str + 1, o.val.str[0]);
            }
            break;
        case xltypeMulti: {
            make_grid(o.val.array.rows, o.val.array.columns);
            try {
                const std::size_t n = size();
                for (std::size_t i = 0; i < n; ++i) {
                    elements()[i] = o.val.array.lparray[i];
                }
            } catch (...) {
                multi_free();
                throw;
            }
            break;
        }
        default:
            throw std::runtime_error("xloper: unknown xltype");
    }
}

xloper::xloper(xloper&& o) noexcept : xloper() {
    take(o);
}

xloper::~xloper() {
    try {
        free();
    } catch (...) {
        // Only reached without a host to give its memory back to.
    }
}

void xloper::take(XLOPER12& o) noexcept {
    val = o.val;
    xltype = o.xltype;
    o.val.num = 0;
    o.xltype = xltypeNil;
}

xloper xloper::boolean(bool b) noexcept {
    xloper x;
    x.val.xbool = b ? 1 : 0;
    x.xltype = xltypeBool;
    return x;
}

xloper xloper::error(int err) noexcept {
    xloper x;
    x.val.err = err;
    x.xltype = xltypeErr;
    return x;
}

xloper& xloper::operator=(const XLOPER12& o) {
    // Copy first: o may be this value or one of its elements.
    xloper copy(o);
    return *this = std::move(copy);
}

xloper& xloper::operator=(xloper&& o) noexcept {
    if (this != &o) {
        xloper old;
        old.take(*this);
        take(o);
    }
    return *this;
}

XCHAR* xloper::reusable_string(std::size_t len) noexcept {
    // Only a buffer of our own (no ownership bit) of exactly this length: the count and the
    // terminator stay right, and free() gives back what malloc handed out.
    if (xltype == xltypeStr && val.str != nullptr && static_cast<std::size_t>(val.str[0]) == len) {
        return val.str;
    }
    return nullptr;
}

xloper& xloper::str_alloc(const XCHAR* s, std::size_t len) {
    XLL_ENSURE("xll::xloper::str_alloc", len <= charmax);
    if (s == nullptr) {
        len = 0;
    }
    if (XCHAR* same = reusable_string(len)) {
        if (len > 0) {
            std::memmove(same + 1, s, len * sizeof(XCHAR));  // s may be this very text
        }
        return *this;
    }
    XCHAR* buffer = allocate_string(len);
    if (len > 0) {
        std::memcpy(buffer + 1, s, len * sizeof(XCHAR));
    }
    free();
    val.str = buffer;
    xltype = xltypeStr;
    return *this;
}

namespace {

// The general path: UTF-8 decoded to UTF-16.
xloper& decode_utf8(xloper& x, const char* s, std::size_t len) {
    XLL_ENSURE("xll::xloper::str_alloc",
               len <= static_cast<size_t>((std::numeric_limits<int>::max)()));
    const int bytes = static_cast<int>(len);
    XCHAR direct[256];
    int cch = platform::utf8_to_utf16(s, bytes, direct, 256);
    if (cch > 0) {
        return x.str_alloc(direct, static_cast<std::size_t>(cch));
    }
    cch = platform::utf8_to_utf16(s, bytes, nullptr, 0);
    XLL_ENSURE("xll::xloper::str_alloc", cch >= 0);
    XLL_ENSURE("xll::xloper::str_alloc", cch <= charmax);
    if (cch == 0) {
        return x.str_alloc(static_cast<const XCHAR*>(nullptr), 0);
    }
    std::unique_ptr<XCHAR, FreeDeleter> buffer(allocate_string(static_cast<std::size_t>(cch)));
    const int written = platform::utf8_to_utf16(s, bytes, buffer.get() + 1, cch);
    XLL_ENSURE("xll::xloper::str_alloc", written == cch);
    x.free();
    x.val.str = buffer.release();
    x.xltype = xltypeStr;
    return x;
}

}  // namespace

xloper& xloper::str_alloc(const char* s, std::size_t len) {
    if (s == nullptr || len == 0) {
        return str_alloc(static_cast<const XCHAR*>(nullptr), 0);
    }
    if (len > static_cast<std::size_t>(charmax)) {
        return decode_utf8(*this, s, len);  // as UTF-8 it may still fit in fewer units
    }
    // ASCII (nearly every text here) widens unit for unit, without decoding; a text that turns
    // out not to be ASCII is decoded afresh over whatever the widening left.
    XCHAR* const same = reusable_string(len);
    XCHAR* const buffer = same != nullptr ? same : allocate_string(len);
    if (!widen_ascii(s, len, buffer + 1)) {
        if (buffer != same) {
            std::free(buffer);
        }
        return decode_utf8(*this, s, len);
    }
    if (buffer != same) {
        try {
            free();
        } catch (...) {
            std::free(buffer);
            throw;
        }
        val.str = buffer;
        xltype = xltypeStr;
    }
    return *this;
}

void xloper::free() {
    if (xltype & xlbitXLFree) {
        struct Reset {
            xloper* x;
            ~Reset() {
                x->val.num = 0;
                x->xltype = xltypeNil;
            }
        } reset{this};
        XLOPER12* self = this;
        XlCallV(xlFree, 1, &self);
        return;
    }
    switch (type()) {
        case xltypeStr:
            std::free(val.str);
            break;
        case xltypeMulti:
            multi_free();
            break;
        default:
            break;
    }
    val.num = 0;
    xltype = xltypeNil;
}

void xloper::multi_free() {
    XLL_ENSURE("xll::xloper::multi_free", IsMulti());
    const std::size_t n = size();
    xloper* e = elements();
    for (std::size_t i = 0; i < n; ++i) {
        e[i].~xloper();
    }
    std::free(val.array.lparray);
    val.num = 0;
    xltype = xltypeNil;
}

void xloper::make_grid(int rows, int columns) {
    const std::size_t n = static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
    void* block = std::malloc(n * sizeof(xloper));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    auto* e = static_cast<xloper*>(block);
    for (std::size_t i = 0; i < n; ++i) {
        new (e + i) xloper();
    }
    free();
    val.array.lparray = e;
    val.array.rows = rows;
    val.array.columns = columns;
    xltype = xltypeMulti;
}

std::size_t xloper::size() const noexcept {
    return static_cast<std::size_t>(rows()) * static_cast<std::size_t>(columns());
}

xloper& xloper::index(std::size_t i) {
    return const_cast<xloper&>(static_cast<const xloper&>(*this).index(i));
}

const xloper& xloper::index(std::size_t i) const {
    if (!IsMulti()) {
        XLL_ENSURE("xll::xloper::index", i == 0);
        return *this;
    }
    if (i >= size()) {
        throw std::out_of_range("Index out of bounds");
    }
    return elements()[i];
}

xloper& xloper::multi_realloc(int rows, int columns) {
    XLL_ENSURE("xll::xloper::multi_realloc", rows >= 0 && columns >= 0);
    const std::size_t n = static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
    if (n == 0) {
        free();
        XLL_ENSURE("xll::xloper::multi_realloc", xltype == xloper{}.xltype);
        return *this;
    }
    if (!IsMulti()) {
        xloper old(std::move(*this));
        try {
            make_grid(rows, columns);
        } catch (...) {
            *this = std::move(old);
            throw;
        }
        elements()[0] = std::move(old);
        return *this;
    }
    const std::size_t old_n = size();
    if (n != old_n) {
        void* block = std::malloc(n * sizeof(xloper));
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        auto* fresh = static_cast<xloper*>(block);
        xloper* old = elements();
        // Elements keep their linear positions; their content moves bit for bit.
        for (std::size_t i = 0; i < n; ++i) {
            new (fresh + i) xloper();
            if (i < old_n) {
                fresh[i].take(old[i]);
            }
        }
        for (std::size_t i = n; i < old_n; ++i) {
            old[i].~xloper();
        }
        std::free(old);
        val.array.lparray = fresh;
    }
    val.array.rows = rows;
    val.array.columns = columns;
    return *this;
}

double xloper::as_number() const {
    XLL_ENSURE("xll::xloper::AsDouble", IsDouble());
    return val.num;
}

}  // namespace xll
