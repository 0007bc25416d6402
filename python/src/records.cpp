#include "records.hpp"

#include <map>
#include <string_view>
#include <utility>

namespace qvl::python {

namespace {

// The record types qvl/_records.py made, by name; they live as long as the interpreter.
std::map<std::string, PyObject*, std::less<>>& record_types() {
    static std::map<std::string, PyObject*, std::less<>> types;
    return types;
}

const char* kind_of(double) {
    return "number";
}
const char* kind_of(const std::optional<double>&) {
    return "optional number";
}
const char* kind_of(const std::string&) {
    return "date";
}

// (label, kind) of every field, in the core's order.
template <class Record>
py::list fields_of() {
    py::list fields;
    visit_fields(Record{}, [&](std::string_view label, const auto& value) {
        fields.append(py::make_tuple(label, kind_of(value)));
    });
    return fields;
}

}  // namespace

void init_records(py::module_& m) {
    m.def(
        "_fields",
        [] {
            py::dict records;
            records[RecordName<ValuationResult>::value] = fields_of<ValuationResult>();
            records[RecordName<TradePayment>::value] = fields_of<TradePayment>();
            records[RecordName<PnLResult>::value] = fields_of<PnLResult>();
            records[RecordName<RiskResult>::value] = fields_of<RiskResult>();
            // A cashflow row: its description, its date and six numbers.
            py::list cashflow;
            for (std::size_t k = 0; k < cashflow_headers.size(); ++k) {
                const char* kind = k == 0 ? "text" : k == 1 ? "date" : "number";
                cashflow.append(py::make_tuple(cashflow_headers[k], kind));
            }
            records["CashflowRow"] = cashflow;
            return records;
        },
        "The fields of every result record: (label, kind) pairs in the core's order.");
    m.def(
        "_set_record_types",
        [](const py::dict& types) {
            for (const auto& [name, type] : types) {
                record_types()[name.cast<std::string>()] = type.inc_ref().ptr();
            }
        },
        "Registers the Python types of the result records.");
}

py::object record_instance(const char* name, const py::tuple& values) {
    const auto found = record_types().find(std::string_view(name));
    if (found == record_types().end()) throw std::logic_error("record type not registered");
    // tuple.__new__(type, values), as namedtuple's _make does.
    const py::tuple arguments = py::make_tuple(values);
    PyObject* record = PyTuple_Type.tp_new(reinterpret_cast<PyTypeObject*>(found->second),
                                           arguments.ptr(), nullptr);
    if (record == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(record);
}

py::object cashflow_object(const CashflowRow& row) {
    py::tuple values(2 + row.values.size());
    values[0] = py::str(row.description);
    values[1] = date_object(row.date);
    for (std::size_t k = 0; k < row.values.size(); ++k) values[2 + k] = py::float_(row.values[k]);
    return record_instance("CashflowRow", values);
}

}  // namespace qvl::python
