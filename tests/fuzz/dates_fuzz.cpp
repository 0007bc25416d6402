// Text dates and tenors, as cells and requests hand them over. The input is "DATE" or
// "DATE\nTENOR": the date text is read and written back, the tenor added to it (or to the
// reference spot date when the date does not read) and to the ends of the date range.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/calendar.hpp"
#include "core/date.hpp"
#include "fuzz_check.hpp"

namespace {

using namespace qvl;

// A read date is written back as the ten characters it was read from, "/" becoming "-".
void date_text(std::string_view text) {
    Date d;
    try {
        d = parse_date(text);
    } catch (const std::invalid_argument&) {
        return;  // DateTextError and "invalid stoi argument"
    } catch (const std::out_of_range&) {
        return;  // "invalid string position"
    }
    std::string expected(text.substr(0, 10));
    std::replace(expected.begin(), expected.end(), '/', '-');
    check(format_date(d) == expected, "format_date(parse_date(text)) is the text");
    check(parse_date(format_date(d)) == d, "parse_date(format_date(d)) == d");
    check(date_from_serial(serial_from_date(d)) == d || d < date_from_serial(0.0),
          "a date of the sheet's range keeps its serial");
    const Date next = next_publication_date(d, true);
    const Date previous = previous_publication_date(d, true);
    check(previous < d && d < next, "publication dates around d");
    check(is_business_day(next) && is_business_day(previous), "publications on business days");
}

void add_tenor(Date base, std::string_view tenor) {
    Date d;
    try {
        d = date_from_tenor(base, tenor);
    } catch (const std::invalid_argument&) {
        return;  // "Invalid tenor: ..." and "invalid stoi argument"
    } catch (const std::out_of_range&) {
        return;  // beyond 32 bits, or beyond the tenors' reach
    }
    check(d != invalid_date, "a tenor gives a date");
    check(is_business_day(d), "a tenor's date is a business day");
    format_date(d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t line_end = input.find('\n');
    const std::string_view date = input.substr(0, line_end);
    date_text(date);
    if (line_end == std::string_view::npos) {
        // A lone text is tried as a tenor as well.
        add_tenor(parse_date("2026-01-22"), input);
        return 0;
    }
    const std::string_view tenor = input.substr(line_end + 1);
    Date base = parse_date("2026-01-22");
    try {
        base = parse_date(date);
    } catch (const std::exception&) {
    }
    for (const Date from : {base, date_from_serial(1.0), date_from_serial(2958465.0), Date{0},
                            std::numeric_limits<Date>::max(), invalid_date}) {
        add_tenor(from, tenor);
    }
    return 0;
}
