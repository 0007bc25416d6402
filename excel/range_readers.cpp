#include "excel/range_readers.hpp"

#include "excel/xloper.hpp"

namespace qvl::addin {

Date DateFromCell(const XLOPER12& cell) {
    switch (xll::type_of(cell)) {
        case xltypeStr: {
            const std::string text = xll::utf8_of(cell);
            return text.empty() ? invalid_date : parse_date(text);
        }
        case xltypeNum:
            return cell.val.num < 0 ? invalid_date : date_from_serial(cell.val.num);
        default:
            return invalid_date;
    }
}

std::string CellText(const XLOPER12& cell) {
    return xll::utf8_of(cell);
}

}  // namespace qvl::addin
