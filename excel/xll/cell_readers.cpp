#include "xll/cell_readers.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "xll/ensure.hpp"
#include "xll/platform.hpp"

namespace xll {

namespace {

constexpr std::uint32_t ownership_bits = xlbitXLFree | xlbitDLLFree;

}  // namespace

std::uint32_t type_of(const XLOPER12& x) noexcept {
    return x.xltype & ~ownership_bits;
}

namespace {

struct Shape {
    int rows;
    int columns;
};

// A grid's dimensions, the size of a reference's first area, nothing for missing and nil, and
// one cell for every other value.
Shape shape_of(const XLOPER12& x) noexcept {
    const auto span = [](const XLREF12& r) {
        return Shape{r.rwLast - r.rwFirst + 1, r.colLast - r.colFirst + 1};
    };
    switch (type_of(x)) {
        case xltypeMulti:
            return {x.val.array.rows, x.val.array.columns};
        case xltypeSRef:
            return span(x.val.sref.ref);
        case xltypeRef:
            if (x.val.mref.lpmref == nullptr || x.val.mref.lpmref->count == 0) {
                return {0, 0};
            }
            return span(x.val.mref.lpmref->reftbl[0]);
        case xltypeMissing:
        case xltypeNil:
            return {0, 0};
        default:
            return {1, 1};
    }
}

}  // namespace

int rows_of(const XLOPER12& x) noexcept {
    return shape_of(x).rows;
}

int columns_of(const XLOPER12& x) noexcept {
    return shape_of(x).columns;
}

bool is_numeric(const XLOPER12& x) noexcept {
    const auto t = type_of(x);
    return t == xltypeNum || t == xltypeBool || t == xltypeInt;
}

double numeric_of(const XLOPER12& x) {
    switch (type_of(x)) {
        case xltypeNum:
            return x.val.num;
        case xltypeBool:
            return x.val.xbool ? 1.0 : 0.0;
        case xltypeInt:
            return x.val.w;
        default:
            ensure_failed("xll::xloper::AsDouble", __LINE__, "IsNumeric()");
    }
}

std::u16string text_of(const XLOPER12& x) {
    double number = 0;
    switch (type_of(x)) {
        case xltypeStr:
            return x.val.str ? std::u16string(x.val.str + 1, x.val.str[0]) : std::u16string();
        case xltypeNum:
            number = x.val.num;
            break;
        case xltypeBool:
            number = x.val.xbool ? 1 : 0;
            break;
        case xltypeInt:
            number = x.val.w;
            break;
        default:
            return {};
    }
    char buffer[32];
    if (std::trunc(number) == number && std::fabs(number) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(number));
    } else {
        std::snprintf(buffer, sizeof buffer, "%.15g", number);
    }
    return std::u16string(buffer, buffer + std::strlen(buffer));
}

std::string utf8_of(const XLOPER12& x) {
    if (type_of(x) == xltypeStr) {
        if (x.val.str == nullptr) {
            return {};
        }
        return platform::utf16_to_utf8(std::u16string_view(x.val.str + 1, x.val.str[0]));
    }
    const std::u16string text = text_of(x);
    return std::string(text.begin(), text.end());  // digits only
}

}  // namespace xll
