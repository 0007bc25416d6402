#pragma once

// Values between Python and the core: dates both ways, errors, and the arguments of the calls
// that take arrays (broadcast together, with each failing element handled as the caller asks).

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/date.hpp"
#include "core/tables.hpp"
#include "text/text_error.hpp"

namespace qvl::python {

namespace py = pybind11;

void init_convert(py::module_& m);

// A date given as datetime.date (datetime.datetime and pandas.Timestamp included),
// numpy.datetime64 or "YYYY-MM-DD" text. None and NaT fail with "Invalid date", a text with
// parse_date's message, any other type with TypeError.
Date date_of(py::handle value);
// d, checked to lie in datetime.date's years 1 to 9999: std::out_of_range "Result date out of
// range" otherwise.
Date result_date(Date d);
// As datetime.date, checked as result_date.
py::object date_object(Date d);
// A record's date text as datetime.date, or None when empty.
py::object date_object(const std::string& text);

// numpy.datetime64[D] counts days from 1970-01-01; NaT is the smallest int64.
inline const Date unix_epoch = days_from_civil(1970, 1, 1);
inline constexpr std::int64_t not_a_time = INT64_MIN;
inline std::int64_t datetime64_of(Date d) {
    return std::int64_t{d} - unix_epoch;
}

// A table cell from a Python value: None and NaN empty, bool a logical, a number a number, a
// text a text.
TableCell table_cell_of(py::handle value);

// Raises the Python exception for a core error: qvl.SolveError for a quote no event rate
// reproduces, ValueError for every other, with the core's message whole.
[[noreturn]] void raise_core_error(const std::exception& error, const std::string& prefix = {});

// What an array call does with an element that fails: fail the call naming its position, or
// put NaN (NaT for dates) in its place.
enum class Errors { raise, nan };
Errors errors_of(const std::string& errors);

// One argument of an array call: its values in the order of its own elements, and its shape
// (none for a scalar or a 0-d array).
template <class T>
struct Argument {
    std::vector<T> values;
    std::vector<py::ssize_t> shape;
    // Elements that could not be read, by position: their value is a placeholder and using
    // them fails with this message.
    std::unordered_map<std::size_t, std::string> failures;

    const T& at(std::size_t k) const {
        if (!failures.empty()) {
            const auto failed = failures.find(k);
            if (failed != failures.end())
                throw text::BasicTextError<std::invalid_argument>(failed->second);
        }
        return values[k];
    }
};

Argument<Date> date_argument(py::handle value);
Argument<double> number_argument(py::handle value);
Argument<std::string> text_argument(py::handle value);

// The arguments of one call broadcast together as numpy broadcasts arrays.
class Broadcast {
  public:
    template <class... Arguments>
    explicit Broadcast(const Arguments&... arguments)
        : Broadcast(std::vector<const std::vector<py::ssize_t>*>{&arguments.shape...},
                    std::vector<std::size_t>{arguments.values.size()...}) {}

    std::size_t size() const { return size_; }
    const std::vector<py::ssize_t>& shape() const { return shape_; }
    // Every argument was a scalar: the call answers scalars.
    bool scalar() const { return shape_.empty(); }
    // Where element i of the result takes its value from in argument k.
    std::size_t at(std::size_t k, std::size_t i) const {
        const Map& map = maps_[k];
        return map.single ? 0 : map.index.empty() ? i : map.index[i];
    }
    // "position 3", or "position (1, 2)" for more than one dimension.
    std::string position(std::size_t i) const;

  private:
    Broadcast(const std::vector<const std::vector<py::ssize_t>*>& shapes,
              const std::vector<std::size_t>& sizes);

    struct Map {
        bool single = false;
        std::vector<std::int64_t> index;  // empty when the argument has the result's shape
    };
    std::vector<py::ssize_t> shape_;
    std::size_t size_ = 1;
    std::vector<Map> maps_;
};

// The first element that failed in an array call.
struct Failure {
    std::size_t position = 0;
    std::exception_ptr error;
};

// Runs body(i) for every element without the interpreter lock. An element whose body throws
// is given to fail(i) when errors is nan; otherwise the loop stops and raises, naming the
// element's position unless the call had scalars only.
template <class Body, class Fail>
void for_each_element(const Broadcast& b, Errors errors, Body&& body, Fail&& fail) {
    std::optional<Failure> failure;
    {
        py::gil_scoped_release release;
        for (std::size_t i = 0; i < b.size(); ++i) {
            try {
                body(i);
            } catch (const std::exception&) {
                if (errors == Errors::raise) {
                    failure = Failure{i, std::current_exception()};
                    break;
                }
                fail(i);
            }
        }
    }
    if (failure) {
        try {
            std::rethrow_exception(failure->error);
        } catch (const std::exception& e) {
            raise_core_error(e, b.scalar() ? "" : b.position(failure->position) + ": ");
        }
    }
}

// A new array of the broadcast shape.
template <class T>
py::array_t<T> new_array(const Broadcast& b) {
    return py::array_t<T>(b.shape());
}
py::array new_date_array(const Broadcast& b);

// The array itself, or its only element as a Python scalar when the call had scalars only.
py::object finish(const Broadcast& b, py::array array);

// function(an element of each argument) over the arguments broadcast together, as an array of
// doubles of their shape; NaN in place of an element that fails when errors is "nan".
template <class Function, class... T, std::size_t... K>
py::object numbers_over(const std::string& errors, Function function, std::index_sequence<K...>,
                        const Argument<T>&... arguments) {
    const Broadcast b(arguments...);
    py::array_t<double> out = new_array<double>(b);
    double* o = out.mutable_data();
    for_each_element(
        b, errors_of(errors), [&](std::size_t i) { o[i] = function(arguments.at(b.at(K, i))...); },
        [&](std::size_t i) { o[i] = std::numeric_limits<double>::quiet_NaN(); });
    return finish(b, out);
}
template <class Function, class... T>
py::object numbers_over(const std::string& errors, Function function,
                        const Argument<T>&... arguments) {
    return numbers_over(errors, function, std::index_sequence_for<T...>{}, arguments...);
}

}  // namespace qvl::python
