// The extension module qvl._qvl. The package qvl (python/qvl) wraps it: the record types, the
// tables, and the names users import.

#include <pybind11/pybind11.h>

#include <exception>
#include <new>

#include "bindings.hpp"
#include "convert.hpp"
#include "core/self_check.hpp"
#include "records.hpp"

PYBIND11_MODULE(_qvl, m) {
    namespace py = pybind11;
    using namespace qvl::python;

    m.doc() = "The QVL calculation core (qvl.Curve, qvl.Series, qvl.Swap and the date functions).";
    m.attr("__version__") = QVL_VERSION;
    init_convert(m);
    init_records(m);
    init_objects(m);
    init_date_functions(m);
    m.def("self_check", &qvl::run_self_check,
          "Values the built-in reference swap: 'ok', or the first figure that differs.");

    // Every error of the core becomes ValueError (qvl.SolveError for an unreachable quote) with
    // its message; pybind11's own errors and running out of memory keep their types.
    py::register_local_exception_translator([](std::exception_ptr p) {
        if (!p) return;
        try {
            std::rethrow_exception(p);
        } catch (const py::error_already_set&) {
            throw;
        } catch (const py::builtin_exception&) {
            throw;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            try {
                raise_core_error(e);
            } catch (py::error_already_set& raised) {
                raised.restore();
            }
        }
    });
}
