#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/date.hpp"
#include "core/qvl_swap.hpp"

namespace qvl {

// Column headers of the cashflow grid: description, date text and the six values.
inline constexpr std::array<const char*, 8> cashflow_headers = {
    "Description",           "Date",
    "Index Factor",          "Current Notional Amount",
    "Accrual Factor",        "Fixed Rate Payment",
    "Floating Rate Payment", "Discount Factor"};

struct CashflowRow {
    Date date = invalid_date;
    std::string description;
    std::string date_text;
    // Index factor, current notional, accrual factor, fixed payment, floating payment, discount
    // factor; NaN where the date carries no such value.
    std::array<double, 6> values;
};

// One row per distinct schedule date, ascending, with the amounts of state and the swap's coupon.
std::vector<CashflowRow> cashflow_rows(const QVLSwap& swap, const ValuationState& state);

// The rows of the swap valued at (t, event_rate).
std::vector<CashflowRow> cashflow_rows(const QVLSwap& swap, Date t, double event_rate);

}  // namespace qvl
