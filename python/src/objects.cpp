// qvl.Curve, qvl.Series and qvl.Swap: the core's immutable values, each call one core call.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bindings.hpp"
#include "convert.hpp"
#include "core/cashflow.hpp"
#include "core/conventions.hpp"
#include "core/index_key.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/risk.hpp"
#include "core/tables.hpp"
#include "core/yield_curve.hpp"
#include "records.hpp"

namespace qvl::python {

namespace {

using namespace pybind11::literals;

// A table from Python: rows of cells (None, bool, float or str), as qvl/_tables.py makes them.
class RowsTable final : public CellTable {
  public:
    explicit RowsTable(const py::sequence& rows) {
        for (const py::handle row : rows) {
            const auto cells = py::reinterpret_borrow<py::sequence>(row);
            columns_ = std::max(columns_, static_cast<int>(cells.size()));
        }
        rows_ = static_cast<int>(rows.size());
        cells_.resize(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_));
        int r = 0;
        for (const py::handle row : rows) {
            int c = 0;
            for (const py::handle cell : py::reinterpret_borrow<py::sequence>(row)) {
                cells_[index(r, c++)] = table_cell_of(cell);
            }
            ++r;
        }
    }

    int rows() const override { return rows_; }
    int columns() const override { return columns_; }
    TableCell cell(int row, int column) const override { return cells_[index(row, column)]; }
    double number(int row, int column) const override {
        const std::optional<double> number = cell_number(cells_[index(row, column)]);
        if (!number) {
            throw std::invalid_argument("Not a number in row " + std::to_string(row + 1) +
                                        ", column " + std::to_string(column + 1) + ": '" +
                                        cell_text(cells_[index(row, column)]) + "'");
        }
        return *number;
    }

  private:
    std::size_t index(int row, int column) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) +
               static_cast<std::size_t>(column);
    }

    int rows_ = 0;
    int columns_ = 0;
    std::vector<TableCell> cells_;
};

// The rate a call takes: the one given, else the one the swap was made with. A Python swap
// remembers nothing of earlier calls.
double rate(const QVLSwap& s, std::optional<double> given) {
    return given ? *given : s.initial_event_rate;
}

// The core's valuations, as the array calls take them.
ValuationResult value(const QVLSwap& s, Date t, double event_rate) {
    return s.calc_from_event_rate(t, event_rate);
}
ValuationResult from_spread(const QVLSwap& s, Date t, double spread) {
    return s.solve_from_spread(t, spread);
}
ValuationResult from_upfront(const QVLSwap& s, Date t, double upfront_fee) {
    return s.solve_from_upfront(t, upfront_fee);
}

template <class Value>
std::shared_ptr<Value> shared(const std::shared_ptr<const Value>& value) {
    return std::const_pointer_cast<Value>(value);
}

// Broadcasts dates against numbers and makes one valuation per element, a column per field.
template <class Valuation>
py::object valuations(const QVLSwap& s, py::handle dates, py::handle numbers,
                      const std::string& errors, Valuation valuation) {
    const Argument<Date> d = date_argument(dates);
    const Argument<double> x = number_argument(numbers);
    const Broadcast b(d, x);
    RecordColumns<ValuationResult> columns(b);
    for_each_element(
        b, errors_of(errors),
        [&](std::size_t i) { columns.set(i, valuation(s, d.at(b.at(0, i)), x.at(b.at(1, i)))); },
        [&](std::size_t i) { columns.fail(i); });
    return columns.finish();
}

// A curve function of dates, as an array of the dates' shape.
template <class Read>
py::object curve_numbers(const YieldCurve& curve, py::handle dates, const std::string& errors,
                         Read read) {
    return numbers_over(
        errors, [&](Date t) { return read(curve, t); }, date_argument(dates));
}

}  // namespace

void init_objects(py::module_& m) {
    py::class_<YieldCurve, std::shared_ptr<YieldCurve>>(m, "Curve", R"(An OIS discount curve.

Bootstrapped from par rates (decimal fractions: 0.039765 is 3.9765 %) at tenors such as "1M",
"6M" or "10Y", as QVL.CreateCurve builds it. Immutable.)")
        .def(py::init([](py::handle trade_date, const std::vector<std::string>& tenors,
                         const std::vector<double>& par_rates) {
                 if (tenors.size() != par_rates.size()) {
                     throw std::invalid_argument("tenors and par_rates differ in length");
                 }
                 const Date d = date_of(trade_date);
                 CurveInput pairs;
                 for (std::size_t k = 0; k < tenors.size(); ++k) {
                     pairs.emplace_back(tenors[k], par_rates[k]);
                 }
                 py::gil_scoped_release release;
                 return std::make_shared<YieldCurve>(d, pairs);
             }),
             "trade_date"_a, "tenors"_a, "par_rates"_a)
        .def_static(
            "_from_rows",
            [](py::handle trade_date, const py::sequence& rows) {
                const Date d = date_of(trade_date);
                return std::make_shared<YieldCurve>(d, read_curve_table(RowsTable(rows)));
            },
            "trade_date"_a, "rows"_a)
        .def_property_readonly("trade_date",
                               [](const YieldCurve& c) { return date_object(c.trade_date()); })
        .def_property_readonly("spot_date",
                               [](const YieldCurve& c) { return date_object(c.spot_date()); })
        .def_property_readonly("tenors",
                               [](const YieldCurve& c) {
                                   std::vector<std::string> tenors;
                                   for (const CurvePillar& p : c.pillars())
                                       tenors.push_back(p.tenor);
                                   return tenors;
                               })
        .def_property_readonly("par_rates",
                               [](const YieldCurve& c) {
                                   std::vector<double> rates;
                                   for (const CurvePillar& p : c.pillars())
                                       rates.push_back(p.par_rate);
                                   return rates;
                               })
        .def(
            "discount_factor",
            [](const YieldCurve& c, py::handle dates, const std::string& errors) {
                return curve_numbers(c, dates, errors, [](const YieldCurve& curve, Date d) {
                    return curve.discount_factor(d);
                });
            },
            "dates"_a, py::kw_only(), "errors"_a = "raise",
            "The discount factor from the trade date to each date (a scalar or an array).")
        .def(
            "forward_rate_1d",
            [](const YieldCurve& c, py::handle dates, const std::string& errors) {
                return curve_numbers(c, dates, errors, [](const YieldCurve& curve, Date d) {
                    return curve.forward_rate_1d(d);
                });
            },
            "dates"_a, py::kw_only(), "errors"_a = "raise",
            "The one-day forward rate at each date (a scalar or an array).")
        .def("__repr__", [](const YieldCurve& c) {
            return "qvl.Curve(" + format_date(c.trade_date()) + ", " +
                   std::to_string(c.pillars().size()) + " pillars)";
        });

    py::class_<QVLSeries, std::shared_ptr<QVLSeries>>(m, "Series", R"(A series of the QVL index.

Its identity, life, coupon (in percent: 2 is 200 bp) and published writedown factors, given as
(date, factor) pairs, as QVL.CreateSeries reads them from its tables. Immutable.)")
        .def(py::init([](py::handle index, const std::string& name, py::handle start,
                         py::handle maturity, double coupon, const py::iterable& factors) {
                 FactorRows rows;
                 for (const py::handle pair : factors) {
                     const auto row = py::reinterpret_borrow<py::sequence>(pair);
                     if (row.size() != 2) {
                         throw std::invalid_argument("factors must be (date, factor) pairs");
                     }
                     rows.emplace_back(date_of(row[0]), row[1].cast<double>());
                 }
                 return std::make_shared<QVLSeries>(
                     NormaliseIndexKey(cell_text(table_cell_of(index))), name, date_of(start),
                     date_of(maturity), coupon, rows);
             }),
             "index"_a, "name"_a, "start"_a, "maturity"_a, "coupon"_a, "factors"_a)
        .def_static(
            "_from_rows",
            [](py::handle index, const py::sequence& series_rows, const py::sequence& factor_rows) {
                return shared(series_from_tables(cell_text(table_cell_of(index)),
                                                 RowsTable(series_rows), RowsTable(factor_rows)));
            },
            "index"_a, "series_rows"_a, "factor_rows"_a)
        .def_readonly("index", &QVLSeries::index)
        .def_readonly("name", &QVLSeries::name)
        .def_property_readonly("start_date",
                               [](const QVLSeries& s) { return date_object(s.start_date); })
        .def_property_readonly("maturity_date",
                               [](const QVLSeries& s) { return date_object(s.maturity_date); })
        .def_readonly("coupon_bps", &QVLSeries::coupon_bps)
        .def("__repr__", [](const QVLSeries& s) {
            return "qvl.Series(" + s.index + ", '" + s.name + "', " + format_date(s.start_date) +
                   " to " + format_date(s.maturity_date) + ")";
        });

    py::class_<QVLSwap, std::shared_ptr<QVLSwap>>(
        m, "Swap", R"(A swap on a QVL series, discounted on an OIS curve.

buyer is the protection buyer's side (paying the fixed leg). event_rate (bp) is the credit event
rate every call takes when it is given none: a swap remembers nothing of earlier calls. Immutable.)")
        .def(py::init([](const std::shared_ptr<QVLSeries>& series,
                         const std::shared_ptr<YieldCurve>& curve, bool buyer, double event_rate,
                         double notional) {
                 return std::make_shared<QVLSwap>(series, curve, buyer, event_rate, notional);
             }),
             "series"_a, "curve"_a, "buyer"_a = default_is_buyer,
             "event_rate"_a = default_event_rate, "notional"_a = default_notional)
        .def(
            "with_curve",
            [](const QVLSwap& s, const std::shared_ptr<YieldCurve>& curve) {
                return std::make_shared<QVLSwap>(s, curve);
            },
            "curve"_a, "The same swap discounted on another curve (cheaper than making it again).")
        .def_property_readonly("series", [](const QVLSwap& s) { return shared(s.series); })
        .def_property_readonly("curve", [](const QVLSwap& s) { return shared(s.curve); })
        .def_property_readonly("buyer", [](const QVLSwap& s) { return s.is_buyer; })
        .def_readonly("event_rate", &QVLSwap::initial_event_rate)
        .def_property_readonly("notional", [](const QVLSwap& s) { return s.notional; })
        .def_property_readonly("start_date",
                               [](const QVLSwap& s) { return date_object(s.start_date); })
        .def_property_readonly("end_date", [](const QVLSwap& s) { return date_object(s.end_date); })
        .def_property_readonly("coupon_bps", [](const QVLSwap& s) { return s.coupon_bps; })
        .def_property_readonly("frequency_months",
                               [](const QVLSwap& s) { return s.frequency_months; })
        .def_property_readonly("settlement_delay",
                               [](const QVLSwap& s) { return s.settlement_delay; })
        .def_property_readonly("payment_delay", [](const QVLSwap& s) { return s.payment_delay; })
        .def(
            "value",
            [](const QVLSwap& s, py::handle trade_date, std::optional<double> event_rate) {
                return record_object(value(s, date_of(trade_date), rate(s, event_rate)));
            },
            "trade_date"_a, "event_rate"_a = py::none(),
            "The valuation at a trade date and credit event rate (QVL.CalcFromEventRate).")
        .def(
            "solve_from_spread",
            [](const QVLSwap& s, py::handle trade_date, double spread) {
                return record_object(from_spread(s, date_of(trade_date), spread));
            },
            "trade_date"_a, "spread"_a,
            "The valuation at the event rate that reproduces a conventional spread (bp); "
            "qvl.SolveError when none does (QVL.SolveFromSpread).")
        .def(
            "solve_from_upfront",
            [](const QVLSwap& s, py::handle trade_date, double upfront_fee) {
                return record_object(from_upfront(s, date_of(trade_date), upfront_fee));
            },
            "trade_date"_a, "upfront_fee"_a,
            "The valuation at the event rate that reproduces an upfront fee (%); "
            "qvl.SolveError when none does (QVL.SolveFromUpfront).")
        .def(
            "payment",
            [](const QVLSwap& s, py::handle trade_date, double clean_price, bool initiation,
               std::optional<double> event_rate) {
                return record_object(s.trade_payment(date_of(trade_date), clean_price, initiation,
                                                     rate(s, event_rate)));
            },
            "trade_date"_a, "clean_price"_a, "initiation"_a = default_trade_initiation,
            "event_rate"_a = py::none(),
            "The cash of a trade at a clean price, at its initiation or its close "
            "(QVL.TotalPayment).")
        .def(
            "pnl",
            [](const QVLSwap& s, py::handle trade_date_1, double clean_price_1,
               py::handle trade_date_2, double clean_price_2, std::optional<double> event_rate) {
                return record_object(s.trade_pnl(date_of(trade_date_1), clean_price_1,
                                                 date_of(trade_date_2), clean_price_2,
                                                 rate(s, event_rate)));
            },
            "trade_date_1"_a, "clean_price_1"_a, "trade_date_2"_a, "clean_price_2"_a,
            "event_rate"_a = py::none(),
            "The PnL of a trade opened and closed at two dates and clean prices "
            "(QVL.TradePnL).")
        .def(
            "cashflows",
            [](const QVLSwap& s, py::handle trade_date, std::optional<double> event_rate) {
                const std::vector<CashflowRow> rows =
                    cashflow_rows(s, date_of(trade_date), rate(s, event_rate));
                py::list out;
                for (const CashflowRow& row : rows) out.append(cashflow_object(row));
                return out;
            },
            "trade_date"_a, "event_rate"_a = py::none(),
            "Every date of the swap's life with its amounts, one CashflowRow each "
            "(QVL.CashflowTable); pandas.DataFrame(rows) makes the table.")
        .def(
            "risk",
            [](const QVLSwap& s, py::handle trade_date, std::optional<double> event_rate) {
                return record_object(qvl::risk(s, date_of(trade_date), rate(s, event_rate)));
            },
            "trade_date"_a, "event_rate"_a = py::none(),
            "The upfront payment's sensitivities to 1 bp of event rate, of spread and of the "
            "OIS curve (QVL.Risk).")
        .def(
            "value_many",
            [](const QVLSwap& s, py::handle trade_dates, py::handle event_rates,
               const std::string& errors) {
                return valuations(s, trade_dates, event_rates, errors, &value);
            },
            "trade_dates"_a, "event_rates"_a, py::kw_only(), "errors"_a = "raise",
            "value() over arrays of trade dates and event rates broadcast together: a "
            "ValuationResult holding an array per field.")
        .def(
            "solve_from_spread_many",
            [](const QVLSwap& s, py::handle trade_dates, py::handle spreads,
               const std::string& errors) {
                return valuations(s, trade_dates, spreads, errors, &from_spread);
            },
            "trade_dates"_a, "spreads"_a, py::kw_only(), "errors"_a = "raise",
            "solve_from_spread() over arrays, as value_many().")
        .def(
            "solve_from_upfront_many",
            [](const QVLSwap& s, py::handle trade_dates, py::handle upfront_fees,
               const std::string& errors) {
                return valuations(s, trade_dates, upfront_fees, errors, &from_upfront);
            },
            "trade_dates"_a, "upfront_fees"_a, py::kw_only(), "errors"_a = "raise",
            "solve_from_upfront() over arrays, as value_many().")
        .def(
            "upfront_fee",
            [](const QVLSwap& s, py::handle trade_dates, py::handle event_rates,
               const std::string& errors) {
                const Argument<Date> d = date_argument(trade_dates);
                const Argument<double> x = number_argument(event_rates);
                return numbers_over(
                    errors, [&](Date t, double r) { return value(s, t, r).upfront_fee; }, d, x);
            },
            "trade_dates"_a, "event_rates"_a, py::kw_only(), "errors"_a = "raise",
            "The upfront fee (%) of value() over arrays broadcast together.")
        .def("__repr__", [](const QVLSwap& s) {
            return std::string("qvl.Swap(") + (s.is_buyer ? "buyer" : "seller") + ", '" +
                   s.series_name + "', " + format_date(s.curve->trade_date()) + " curve)";
        });
}

}  // namespace qvl::python
