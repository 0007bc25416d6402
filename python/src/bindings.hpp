#pragma once

#include <pybind11/pybind11.h>

// The parts of the module, each filled in by its own file.

namespace qvl::python {

void init_objects(pybind11::module_& m);
void init_date_functions(pybind11::module_& m);

}  // namespace qvl::python
