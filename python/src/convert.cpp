#include "convert.hpp"

// The datetime C interface keeps its table in a static of each translation unit that includes
// it: every use of it stays in this file.
#include <datetime.h>
#include <pybind11/stl.h>

#include <cmath>
#include <stdexcept>
#include <string_view>

#include "core/solver.hpp"
#include "text/text_error.hpp"

namespace qvl::python {

namespace {

// Types and functions of other modules, looked up once; they live as long as the interpreter.
PyObject* solve_error_type = nullptr;
PyObject* numpy_datetime64 = nullptr;
PyObject* numpy_broadcast_shapes = nullptr;

[[noreturn]] void invalid_date() {
    throw std::invalid_argument("Invalid date");
}

Date date_from_datetime64(std::int64_t days) {
    if (days == not_a_time) invalid_date();
    // Beyond the dates a 32-bit day count holds, as no date text reaches.
    if (days < INT32_MIN + std::int64_t{unix_epoch} || days > INT32_MAX - std::int64_t{unix_epoch})
        throw std::invalid_argument("Date out of range");
    return static_cast<Date>(days + unix_epoch);
}

std::vector<py::ssize_t> shape_of(const py::array& a) {
    return {a.shape(), a.shape() + a.ndim()};
}

// pandas' NaT, a datetime that names no day.
bool is_not_a_time(py::handle value) {
    return std::string_view(Py_TYPE(value.ptr())->tp_name).ends_with("NaTType");
}

}  // namespace

void init_convert(py::module_& m) {
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) throw py::error_already_set();
    const py::module_ numpy = py::module_::import("numpy");
    numpy_datetime64 = py::object(numpy.attr("datetime64")).release().ptr();
    numpy_broadcast_shapes = py::object(numpy.attr("broadcast_shapes")).release().ptr();

    solve_error_type = PyErr_NewExceptionWithDoc(
        "qvl.SolveError",
        "No credit event rate reproduces the quote (a conventional spread or an upfront fee) "
        "within the solver's bracket.",
        PyExc_ValueError, nullptr);
    if (solve_error_type == nullptr) throw py::error_already_set();
    m.attr("SolveError") = py::handle(solve_error_type);
}

Date date_of(py::handle value) {
    if (PyDate_Check(value.ptr()) && !is_not_a_time(value)) {
        return days_from_civil(PyDateTime_GET_YEAR(value.ptr()), PyDateTime_GET_MONTH(value.ptr()),
                               PyDateTime_GET_DAY(value.ptr()));
    }
    if (PyUnicode_Check(value.ptr())) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
        if (text == nullptr) throw py::error_already_set();
        return parse_date(std::string_view(text, static_cast<std::size_t>(size)));
    }
    if (PyObject_IsInstance(value.ptr(), numpy_datetime64) == 1) {
        const py::object days = value.attr("astype")("datetime64[D]").attr("astype")("int64");
        return date_from_datetime64(days.cast<std::int64_t>());
    }
    if (value.is_none() || is_not_a_time(value)) invalid_date();
    throw py::type_error(
        "a date must be a datetime.date, a numpy.datetime64 or a 'YYYY-MM-DD' "
        "text, not " +
        std::string(py::str(value.get_type().attr("__name__"))));
}

Date result_date(Date d) {
    const CivilDate c = civil_from_days(d);
    if (c.year < 1 || c.year > 9999) throw std::out_of_range("Result date out of range");
    return d;
}

py::object date_object(Date d) {
    const CivilDate c = civil_from_days(result_date(d));
    PyObject* date = PyDate_FromDate(c.year, c.month, c.day);
    if (date == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(date);
}

py::object date_object(const std::string& text) {
    return text.empty() ? py::none() : date_object(parse_date(text));
}

TableCell table_cell_of(py::handle value) {
    if (value.is_none()) return std::monostate{};
    if (PyBool_Check(value.ptr())) return value.ptr() == Py_True;
    if (PyUnicode_Check(value.ptr())) return value.cast<std::string>();
    const double number = value.cast<double>();
    if (std::isnan(number)) return std::monostate{};
    return number;
}

void raise_core_error(const std::exception& error, const std::string& prefix) {
    const std::string message = prefix + std::string(text::message_of(error));
    PyObject* type =
        dynamic_cast<const SolveError*>(&error) != nullptr ? solve_error_type : PyExc_ValueError;
    if (dynamic_cast<const py::type_error*>(&error) != nullptr) type = PyExc_TypeError;
    // The message may hold any character the caller's text held, NUL included.
    const py::object text = py::reinterpret_steal<py::object>(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    PyErr_SetObject(type, text.ptr());
    throw py::error_already_set();
}

Errors errors_of(const std::string& errors) {
    if (errors == "raise") return Errors::raise;
    if (errors == "nan") return Errors::nan;
    throw py::value_error("errors must be 'raise' or 'nan', not '" + errors + "'");
}

Argument<Date> date_argument(py::handle value) {
    Argument<Date> argument;
    const py::array a = py::module_::import("numpy").attr("asarray")(value);
    argument.shape = shape_of(a);
    const auto size = static_cast<std::size_t>(a.size());
    argument.values.resize(size, qvl::invalid_date);
    if (a.dtype().kind() == 'M') {
        const py::array_t<std::int64_t, py::array::c_style> days =
            a.attr("astype")("datetime64[D]").attr("view")("int64");
        const std::int64_t* d = days.data();
        for (std::size_t k = 0; k < size; ++k) {
            try {
                argument.values[k] = date_from_datetime64(d[k]);
            } catch (const std::exception& e) {
                argument.failures.emplace(k, text::message_of(e));
            }
        }
        return argument;
    }
    if (a.dtype().kind() != 'U' && a.dtype().kind() != 'O') {
        if (argument.shape.empty()) date_of(value);  // the scalar's own TypeError
        throw py::type_error(
            "dates must be datetime.date, numpy.datetime64 or 'YYYY-MM-DD' "
            "texts, not an array of " +
            std::string(py::str(a.dtype())));
    }
    const py::list elements = a.attr("ravel")().attr("tolist")();
    for (std::size_t k = 0; k < size; ++k) {
        try {
            argument.values[k] = date_of(elements[k]);
        } catch (const py::type_error&) {
            throw;
        } catch (const std::exception& e) {
            argument.failures.emplace(k, text::message_of(e));
        }
    }
    return argument;
}

Argument<double> number_argument(py::handle value) {
    Argument<double> argument;
    const py::array_t<double, py::array::c_style | py::array::forcecast> a =
        py::module_::import("numpy").attr("asarray")(value, "float64");
    argument.shape = shape_of(a);
    argument.values.assign(a.data(), a.data() + a.size());
    return argument;
}

Argument<std::string> text_argument(py::handle value) {
    Argument<std::string> argument;
    const py::array a = py::module_::import("numpy").attr("asarray")(value, "object");
    argument.shape = shape_of(a);
    const py::list elements = a.attr("ravel")().attr("tolist")();
    argument.values.reserve(elements.size());
    for (const py::handle element : elements) {
        argument.values.push_back(py::str(element).cast<std::string>());
    }
    return argument;
}

Broadcast::Broadcast(const std::vector<const std::vector<py::ssize_t>*>& shapes,
                     const std::vector<std::size_t>& sizes) {
    py::tuple shape_tuples(shapes.size());
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        shape_tuples[k] = py::tuple(py::cast(*shapes[k]));
    }
    // numpy's own rule and message for shapes that do not fit together.
    const py::tuple result =
        py::reinterpret_borrow<py::object>(numpy_broadcast_shapes)(*shape_tuples);
    shape_ = result.cast<std::vector<py::ssize_t>>();
    for (const py::ssize_t n : shape_) size_ *= static_cast<std::size_t>(n);

    const py::module_ numpy = py::module_::import("numpy");
    maps_.resize(shapes.size());
    for (std::size_t k = 0; k < shapes.size(); ++k) {
        if (sizes[k] == 1) {
            maps_[k].single = true;
        } else if (*shapes[k] != shape_) {
            const py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> index =
                numpy.attr("ascontiguousarray")(numpy.attr("broadcast_to")(
                    numpy.attr("arange")(sizes[k]).attr("reshape")(shape_tuples[k]), result));
            maps_[k].index.assign(index.data(), index.data() + index.size());
        }
    }
}

std::string Broadcast::position(std::size_t i) const {
    if (shape_.size() <= 1) return "position " + std::to_string(i);
    std::vector<std::size_t> where(shape_.size());
    for (std::size_t d = shape_.size(); d-- > 0;) {
        where[d] = i % static_cast<std::size_t>(shape_[d]);
        i /= static_cast<std::size_t>(shape_[d]);
    }
    std::string text = "position (";
    for (std::size_t d = 0; d < where.size(); ++d) {
        text += (d ? ", " : "") + std::to_string(where[d]);
    }
    return text + ")";
}

py::array new_date_array(const Broadcast& b) {
    return py::array(py::dtype("M8[D]"), b.shape());
}

py::object finish(const Broadcast& b, py::array array) {
    if (!b.scalar()) return array;
    if (array.dtype().kind() == 'M') {
        const std::int64_t days = *static_cast<const std::int64_t*>(array.data());
        return days == not_a_time ? py::none() : date_object(date_from_datetime64(days));
    }
    return array.attr("item")();
}

}  // namespace qvl::python
