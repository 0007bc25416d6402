#include "core/cashflow.hpp"

#include <algorithm>
#include <limits>

namespace qvl {

namespace {

enum Column : std::size_t {
    index_factor_column,
    notional_column,
    accrual_factor_column,
    fixed_payment_column,
    floating_payment_column,
    discount_factor_column
};

void append_description(CashflowRow& row, const char* text) {
    if (!row.description.empty()) row.description += '/';
    row.description += text;
}

}  // namespace

std::vector<CashflowRow> cashflow_rows(const QVLSwap& swap, Date t, double event_rate) {
    return cashflow_rows(swap, swap.value_at(t, event_rate));
}

std::vector<CashflowRow> cashflow_rows(const QVLSwap& swap, const ValuationState& state) {
    const std::vector<FloatingPeriod>& floating_periods = swap.floating_periods();
    const std::vector<FixedPeriod>& fixed_periods = swap.fixed_periods();
    std::vector<Date> dates;
    dates.reserve(3 * (floating_periods.size() + fixed_periods.size()));
    // A period's dates mostly coincide; dropping repeats here keeps the sort short.
    const auto collect = [&dates](Date d) {
        if (d != invalid_date && (dates.empty() || dates.back() != d)) dates.push_back(d);
    };
    for (const FloatingPeriod& p : floating_periods) {
        collect(p.publication_date);
        collect(p.effective_date);
        collect(p.payment_date);
    }
    for (const FixedPeriod& p : fixed_periods) {
        collect(p.accrual_start);
        collect(p.accrual_end);
        collect(p.payment_date);
    }
    std::sort(dates.begin(), dates.end());
    dates.erase(std::unique(dates.begin(), dates.end()), dates.end());

    std::vector<CashflowRow> rows(dates.size());
    for (std::size_t i = 0; i < dates.size(); ++i) {
        rows[i].date = dates[i];
        rows[i].date_text = format_date(dates[i]);
        rows[i].description.reserve(64);  // room for the longest description
        rows[i].values.fill(std::numeric_limits<double>::quiet_NaN());
    }
    // Every date looked up here was collected above.
    const auto row_of = [&rows, &dates](Date d) -> CashflowRow& {
        return rows[static_cast<std::size_t>(std::lower_bound(dates.begin(), dates.end(), d) -
                                             dates.begin())];
    };

    for (std::size_t k = 0; k < floating_periods.size(); ++k) {
        const FloatingPeriod& p = floating_periods[k];
        const FloatingAmounts& a = state.floating[k];
        CashflowRow& effective = row_of(p.effective_date);
        effective.description = k == 0 ? "First Index Effective" : "Index Effective";
        effective.values[index_factor_column] = a.index_factor;
        effective.values[notional_column] = a.current_notional;
        if (p.pays && p.payment_date != invalid_date) {
            CashflowRow& payment = row_of(p.payment_date);
            payment.description = "Floating Payment";
            payment.values[floating_payment_column] = a.writedown_payment;
            payment.values[discount_factor_column] = p.discount_factor;
        }
    }
    for (const FixedPeriod& p : fixed_periods) {
        append_description(row_of(p.accrual_end), "Accrual End");
    }
    for (std::size_t j = 0; j < fixed_periods.size(); ++j) {
        const FixedPeriod& p = fixed_periods[j];
        append_description(row_of(p.accrual_start), "Accrual Start");
        if (p.payment_date != invalid_date) {
            CashflowRow& payment = row_of(p.payment_date);
            append_description(payment, "Fixed Payment");
            payment.values[accrual_factor_column] = p.accrual_factor;
            payment.values[fixed_payment_column] = swap.fixed_payment(state, j, swap.coupon_bps);
        }
    }
    return rows;
}

}  // namespace qvl
