#pragma once

// The framework's checks. A failed check raises std::runtime_error with the text
//   file: excel/xll\nline: <n>\nfunction: <qualified name>\nensure: "<condition>" failed
// which travels to the worksheet function (or entry point) that caused it.

namespace xll {

[[noreturn]] void ensure_failed(const char* function, int line, const char* condition);

}  // namespace xll

#define XLL_ENSURE(function, condition)                           \
    do {                                                          \
        if (!(condition)) {                                       \
            ::xll::ensure_failed(function, __LINE__, #condition); \
        }                                                         \
    } while (false)
