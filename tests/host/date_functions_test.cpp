// The date worksheet functions of qvl.xll through the stand-in host: the cells no formula of the
// scenario comparison can give. What every other kind of cell reads as, each function's message
// for inputs that name no day, the rolls and the results at the ends of the sheet's dates are
// that comparison's.

#include <string>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

using DateFunctions = Workbook;

TEST_F(DateFunctions, ErrorsGridsAndNulsNameNoDay) {
    using namespace std::string_literals;
    expect_calls({
        {"QVL.IsBusinessDay", {Value::error(xlerrNA)}, "Invalid date"},
        {"QVL.IsBusinessDay", {Value::grid(1, 1, {46042})}, "Invalid date"},
        // Tenor texts are the core's; a NUL is the cell's.
        {"QVL.DateFromTenor", {"2026-01-20", "3M\0"s}, "Invalid tenor: 3M\0"s},
    });
}

}  // namespace
