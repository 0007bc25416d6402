#include "xll/ensure.hpp"

#include <stdexcept>
#include <string>

namespace xll {

void ensure_failed(const char* function, int line, const char* condition) {
    std::string text = "file: excel/xll\nline: ";
    text += std::to_string(line);
    text += "\nfunction: ";
    text += function;
    text += "\nensure: \"";
    text += condition;
    text += "\" failed";
    throw std::runtime_error(text);
}

}  // namespace xll
