// The calendar and date functions of the worksheet, over scalars or arrays of dates.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "bindings.hpp"
#include "convert.hpp"
#include "core/calendar.hpp"
#include "core/conventions.hpp"
#include "core/date.hpp"

namespace qvl::python {

namespace {

using namespace pybind11::literals;

// A date function of dates and one more argument broadcast with them, as datetime64 dates.
template <class Other, class Function>
py::object dates_to_dates(const Argument<Date>& d, const Argument<Other>& other,
                          const std::string& errors, Function function) {
    const Broadcast b(d, other);
    py::array out = new_date_array(b);
    auto* o = static_cast<std::int64_t*>(out.mutable_data());
    for_each_element(
        b, errors_of(errors),
        [&](std::size_t i) {
            o[i] = datetime64_of(result_date(function(d.at(b.at(0, i)), other.at(b.at(1, i)))));
        },
        [&](std::size_t i) { o[i] = not_a_time; });
    return finish(b, out);
}

// The same for a function of dates alone.
template <class Function>
py::object dates_to_dates(py::handle dates, const std::string& errors, Function function) {
    const Argument<double> none{{0.0}, {}, {}};
    return dates_to_dates(date_argument(dates), none, errors,
                          [&](Date d, double) { return function(d); });
}

template <class Fraction>
py::object year_fractions(py::handle start, py::handle end, const std::string& errors,
                          Fraction fraction) {
    const Argument<Date> from = date_argument(start);
    const Argument<Date> to = date_argument(end);
    return numbers_over(errors, fraction, from, to);
}

}  // namespace

void init_date_functions(py::module_& m) {
    m.def(
        "is_business_day",
        [](py::handle dates) {
            const Argument<Date> d = date_argument(dates);
            const Broadcast b(d);
            py::array_t<bool> out = new_array<bool>(b);
            bool* o = out.mutable_data();
            for_each_element(
                b, Errors::raise, [&](std::size_t i) { o[i] = is_business_day(d.at(b.at(0, i))); },
                [](std::size_t) {});
            return finish(b, out);
        },
        "dates"_a, "Whether each date is a New York banking day (QVL.IsBusinessDay).");
    m.def(
        "roll_following",
        [](py::handle dates, py::handle roll_days, const std::string& errors) {
            return dates_to_dates(date_argument(dates), number_argument(roll_days), errors,
                                  [](Date d, double days) {
                                      // Whole days, as the worksheet truncates them.
                                      const double n = std::trunc(days);
                                      if (!(std::fabs(n) <= longest_roll)) {
                                          throw std::invalid_argument("Invalid roll_days");
                                      }
                                      return advance_business_days(d, static_cast<std::int32_t>(n));
                                  });
        },
        "dates"_a, "roll_days"_a = default_roll_days, py::kw_only(), "errors"_a = "raise",
        "Each date rolled to the following business day, then advanced by roll_days business "
        "days (QVL.RollToFollowingBD).");
    m.def(
        "next_publication_date",
        [](py::handle dates, const std::string& errors) {
            return dates_to_dates(dates, errors,
                                  [](Date d) { return next_publication_date(d, true); });
        },
        "dates"_a, py::kw_only(), "errors"_a = "raise",
        "The first index publication date strictly after each date (QVL.NextPublicationDate).");
    m.def(
        "previous_publication_date",
        [](py::handle dates, const std::string& errors) {
            return dates_to_dates(dates, errors,
                                  [](Date d) { return previous_publication_date(d, true); });
        },
        "dates"_a, py::kw_only(), "errors"_a = "raise",
        "The last index publication date strictly before each date "
        "(QVL.PrevPublicationDate).");
    m.def(
        "date_from_tenor",
        [](py::handle dates, py::handle tenors, const std::string& errors) {
            return dates_to_dates(
                date_argument(dates), text_argument(tenors), errors,
                [](Date d, const std::string& tenor) { return date_from_tenor(d, tenor); });
        },
        "dates"_a, "tenors"_a, py::kw_only(), "errors"_a = "raise",
        "Each date plus a tenor (\"3M\", \"1Y\", \"-2W\", \"6ME\"), rolled to the following "
        "business day (QVL.DateFromTenor).");
    m.def(
        "year_fraction_act360",
        [](py::handle start, py::handle end, const std::string& errors) {
            return year_fractions(start, end, errors, &year_fraction_act360);
        },
        "start"_a, "end"_a, py::kw_only(), "errors"_a = "raise",
        "ACT/360 year fraction from start to end (QVL.DayCountACT360).");
    m.def(
        "year_fraction_act365_25",
        [](py::handle start, py::handle end, const std::string& errors) {
            return year_fractions(start, end, errors, &year_fraction_act365_25);
        },
        "start"_a, "end"_a, py::kw_only(), "errors"_a = "raise",
        "ACT/365.25 year fraction from start to end (QVL.DayCountACT365).");
}

}  // namespace qvl::python
