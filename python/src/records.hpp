#pragma once

// The core's result records as Python values. Each record's fields are the core's visit_fields
// list: the package makes one immutable Python type per record from it (field names derived from
// the labels, in qvl/_records.py), and the functions here fill instances of those types, one
// record at a time or a column per field.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "convert.hpp"
#include "core/cashflow.hpp"
#include "core/results.hpp"
#include "core/risk.hpp"

namespace qvl::python {

template <class Record>
struct RecordName;
template <>
struct RecordName<ValuationResult> {
    static constexpr const char* value = "ValuationResult";
};
template <>
struct RecordName<TradePayment> {
    static constexpr const char* value = "TradePayment";
};
template <>
struct RecordName<PnLResult> {
    static constexpr const char* value = "PnLResult";
};
template <>
struct RecordName<RiskResult> {
    static constexpr const char* value = "RiskResult";
};

void init_records(py::module_& m);

// An instance of the record type of that name holding values.
py::object record_instance(const char* name, const py::tuple& values);

inline py::object value_object(double x) {
    return py::float_(x);
}
inline py::object value_object(const std::optional<double>& x) {
    return x ? py::object(py::float_(*x)) : py::object(py::none());
}
// Every text of these records is a date.
inline py::object value_object(const std::string& date_text) {
    return date_object(date_text);
}

template <class Record>
std::size_t field_count() {
    std::size_t n = 0;
    visit_fields(Record{}, [&](const auto&, const auto&) { ++n; });
    return n;
}

template <class Record>
py::object record_object(const Record& r) {
    static const std::size_t n = field_count<Record>();
    py::tuple values(n);
    std::size_t i = 0;
    visit_fields(r, [&](const auto&, const auto& value) { values[i++] = value_object(value); });
    return record_instance(RecordName<Record>::value, values);
}

py::object cashflow_object(const CashflowRow& row);

// One array per field of a record, one element per element of a broadcast call: numbers and
// optional numbers as float64 (NaN for none), dates as datetime64[D] (NaT for none).
template <class Record>
class RecordColumns {
  public:
    explicit RecordColumns(const Broadcast& b) : broadcast_(b) {
        visit_fields(Record{}, [&](const auto&, const auto& value) {
            Column& c = columns_.emplace_back();
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>) {
                c.array = new_date_array(b);
                c.dates = static_cast<std::int64_t*>(c.array.mutable_data());
            } else {
                c.array = new_array<double>(b);
                c.numbers = static_cast<double*>(c.array.mutable_data());
            }
        });
    }

    // Without the interpreter lock.
    void set(std::size_t i, const Record& r) {
        std::size_t k = 0;
        visit_fields(r, [&](const auto&, const auto& value) { columns_[k++].set(i, value); });
    }
    void fail(std::size_t i) {
        for (Column& c : columns_) c.fail(i);
    }

    py::object finish() const {
        py::tuple values(columns_.size());
        for (std::size_t k = 0; k < columns_.size(); ++k) {
            values[k] = python::finish(broadcast_, columns_[k].array);
        }
        return record_instance(RecordName<Record>::value, values);
    }

  private:
    struct Column {
        py::array array;
        double* numbers = nullptr;
        std::int64_t* dates = nullptr;
        // Neighbouring elements mostly share their dates: the last text read, and its day.
        std::string last_text;
        std::int64_t last_day = not_a_time;

        void set(std::size_t i, double x) { numbers[i] = x; }
        void set(std::size_t i, const std::optional<double>& x) {
            numbers[i] = x ? *x : std::numeric_limits<double>::quiet_NaN();
        }
        void set(std::size_t i, const std::string& text) {
            if (text != last_text) {
                last_day = text.empty() ? not_a_time : datetime64_of(parse_date(text));
                last_text = text;
            }
            dates[i] = last_day;
        }
        void fail(std::size_t i) {
            if (numbers) numbers[i] = std::numeric_limits<double>::quiet_NaN();
            if (dates) dates[i] = not_a_time;
        }
    };

    const Broadcast& broadcast_;
    std::vector<Column> columns_;
};

}  // namespace qvl::python
