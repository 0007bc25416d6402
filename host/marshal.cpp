// The values that cross between the stand-in host and the add-in: the arguments it passes, the
// results it copies out, the values it hands over in its own memory and takes back on xlFree.

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>

#include "host/host.hpp"
#include "host_internal.hpp"
#include "text/utf.hpp"

namespace standin {

namespace {

constexpr std::size_t longest_string = 32767;
constexpr std::uint32_t ownership_bits = xlbitXLFree | xlbitDLLFree;

// Nil, missing, numbers, booleans and errors; other kinds come out nil.
XLOPER12 scalar_of(const Value& v) {
    XLOPER12 x{};
    x.xltype = xltypeNil;
    switch (v.kind()) {
        case Value::Kind::missing:
            x.xltype = xltypeMissing;
            break;
        case Value::Kind::number:
            x.xltype = xltypeNum;
            x.val.num = v.number();
            break;
        case Value::Kind::boolean:
            x.xltype = xltypeBool;
            x.val.xbool = v.boolean() ? 1 : 0;
            break;
        case Value::Kind::error:
            x.xltype = xltypeErr;
            x.val.err = v.error_code();
            break;
        default:
            break;
    }
    return x;
}

}  // namespace

std::uint32_t type_of(const XLOPER12& x) {
    return x.xltype & ~ownership_bits;
}

bool is_text(const XLOPER12* x) {
    return x && type_of(*x) == xltypeStr && x->val.str;
}

bool is_absent(const XLOPER12* x) {
    return x == nullptr || type_of(*x) == xltypeNil || type_of(*x) == xltypeMissing;
}

std::string text_of(const XLOPER12* x) {
    return is_text(x) ? qvl::text::utf16_to_utf8(std::u16string_view(x->val.str + 1, x->val.str[0]))
                      : std::string();
}

std::size_t length_of(const XLOPER12* x) {
    return is_text(x) ? x->val.str[0] : 0;
}

std::optional<double> number_of(const XLOPER12* x) {
    if (x == nullptr) {
        return std::nullopt;
    }
    switch (type_of(*x)) {
        case xltypeNum:
            return x->val.num;
        case xltypeInt:
            return x->val.w;
        case xltypeBool:
            return x->val.xbool ? 1.0 : 0.0;
        default:
            return std::nullopt;
    }
}

// Results the add-in hands over: copied deeply, checked as a host would.
Value Host::copy_result(const XLOPER12* r, bool inside_grid) {
    switch (type_of(*r)) {
        case xltypeNum:
            return Value(r->val.num);
        case xltypeInt:
            return Value(r->val.w);
        case xltypeBool:
            return Value::boolean(r->val.xbool != 0);
        case xltypeErr:
            return Value::error(r->val.err);
        case xltypeNil:
            return Value();
        case xltypeMissing:
            return Value::missing();
        case xltypeStr: {
            if (r->val.str == nullptr) {
                fault("string result without a buffer");
                return Value::error(xlerrValue);
            }
            const std::size_t n = r->val.str[0];
            if (n > longest_string) {
                fault("string result longer than 32767 characters");
            }
            return Value::text16(std::u16string(r->val.str + 1, n));
        }
        case xltypeMulti: {
            if (inside_grid) {
                fault("grid inside a grid");
                return Value::error(xlerrValue);
            }
            const int rows = r->val.array.rows;
            const int columns = r->val.array.columns;
            if (rows < 1 || columns < 1 || r->val.array.lparray == nullptr) {
                fault("grid result without cells");
                return Value::error(xlerrValue);
            }
            std::vector<Value> cells;
            const std::size_t n =
                static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
            cells.reserve(n);
            for (std::size_t i = 0; i < n; ++i) {
                cells.push_back(copy_result(r->val.array.lparray + i, true));
            }
            return Value::grid(rows, columns, std::move(cells));
        }
        default:
            fault("result of a type the stand-in host does not show: " + std::to_string(r->xltype));
            return Value::error(xlerrValue);
    }
}

XLOPER12* Host::Arguments::add(const Value& v) {
    slots_.push_back(make(v, false));
    return &slots_.back();
}

void Host::Arguments::clear() {
    slots_.clear();
    strings_.clear();
    grids_.clear();
}

XLOPER12 Host::Arguments::make(const Value& v, bool inside_grid) {
    XLOPER12 x = scalar_of(v);
    switch (v.kind()) {
        case Value::Kind::missing:
            // An empty cell of a range arrives as nil.
            x.xltype = inside_grid ? xltypeNil : xltypeMissing;
            break;
        case Value::Kind::text: {
            const std::u16string& t = v.text16();
            if (t.size() > longest_string) {
                throw std::invalid_argument("a cell holds at most 32767 characters");
            }
            auto buffer = std::make_unique<XCHAR[]>(t.size() + 2);
            buffer[0] = static_cast<XCHAR>(t.size());
            std::copy(t.begin(), t.end(), buffer.get() + 1);
            x.xltype = xltypeStr;
            x.val.str = buffer.get();
            strings_.push_back(std::move(buffer));
            break;
        }
        case Value::Kind::grid: {
            if (inside_grid) {
                throw std::invalid_argument("a cell cannot hold a grid");
            }
            const Grid& g = v.grid();
            auto cells = std::make_unique<XLOPER12[]>(g.cells.size());
            for (std::size_t i = 0; i < g.cells.size(); ++i) {
                cells[i] = make(g.cells[i], true);
            }
            x.xltype = xltypeMulti;
            x.val.array.lparray = cells.get();
            x.val.array.rows = g.rows;
            x.val.array.columns = g.columns;
            grids_.push_back(std::move(cells));
            break;
        }
        default:
            break;
    }
    return x;
}

// Values the host gives the add-in live in malloc'ed blocks that the add-in returns with xlFree.
XLOPER12 Host::give_value(const Value& v) {
    XLOPER12 x = scalar_of(v);
    if (v.kind() == Value::Kind::text) {
        const std::u16string& t = v.text16();
        auto* buffer = static_cast<XCHAR*>(std::malloc((t.size() + 2) * sizeof(XCHAR)));
        if (buffer == nullptr) {
            throw std::bad_alloc();
        }
        buffer[0] = static_cast<XCHAR>(t.size());
        std::copy(t.begin(), t.end(), buffer + 1);
        buffer[t.size() + 1] = 0;
        handed_out_.insert(buffer);
        x.xltype = xltypeStr;
        x.val.str = buffer;
    } else if (v.kind() == Value::Kind::grid) {
        const Grid& g = v.grid();
        auto* cells = static_cast<XLOPER12*>(std::malloc(g.cells.size() * sizeof(XLOPER12)));
        if (cells == nullptr) {
            throw std::bad_alloc();
        }
        handed_out_.insert(cells);
        for (std::size_t i = 0; i < g.cells.size(); ++i) {
            cells[i] = give_value(g.cells[i]);
        }
        x.xltype = xltypeMulti;
        x.val.array.lparray = cells;
        x.val.array.rows = g.rows;
        x.val.array.columns = g.columns;
    }
    return x;
}

void Host::give(const Value& v, XLOPER12* result) {
    if (result != nullptr) {
        *result = give_value(v);
    }
}

void Host::take_back(XLOPER12* x) {
    const auto release = [this](void* p) {
        if (handed_out_.erase(p) == 1) {
            std::free(p);
        } else {
            fault("xlFree of memory the host did not hand out");
        }
    };
    switch (type_of(*x)) {
        case xltypeStr:
            release(x->val.str);
            break;
        case xltypeRef:
            release(x->val.mref.lpmref);
            break;
        case xltypeMulti: {
            const std::size_t n = static_cast<std::size_t>(x->val.array.rows) *
                                  static_cast<std::size_t>(x->val.array.columns);
            if (handed_out_.count(x->val.array.lparray) == 1) {
                for (std::size_t i = 0; i < n; ++i) {
                    take_back(x->val.array.lparray + i);
                }
            }
            release(x->val.array.lparray);
            break;
        }
        default:
            break;
    }
}

}  // namespace standin
