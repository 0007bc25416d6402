#include "core/cashflow.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "core/calendar.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

void expect_values(const CashflowRow& row, const std::array<double, 6>& expected) {
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(row.date_text + " column " + std::to_string(i));
        if (std::isnan(expected[i])) {
            EXPECT_TRUE(std::isnan(row.values[i]));
        } else {
            EXPECT_NEAR(row.values[i], expected[i], 1e-9);
        }
    }
}

TEST(Cashflow, OneRowPerPublicationDateOfTheReferenceSwap) {
    const std::vector<CashflowRow> rows = cashflow_rows(*make_reference_swap(), trade_date, 200.0);
    ASSERT_EQ(rows.size(), 64u);
    Date expected = day("2025-09-11");
    for (const CashflowRow& row : rows) {
        EXPECT_EQ(row.date_text, format_date(expected));
        expected = next_publication_date(expected, true);
    }
    const double none = std::nan("");
    EXPECT_EQ(rows[0].description, "First Index Effective/Accrual Start");
    expect_values(rows[0], {1.0, 10000000.0, none, none, none, none});
    EXPECT_EQ(rows[1].description, "Floating Payment/Accrual End/Fixed Payment/Accrual Start");
    expect_values(rows[1], {0.999986, 9999860.0, 29.0 / 360.0, 16111.111111111113, 140.0, 1.0});
    // The published writedowns up to the trade date, then the projected ones.
    EXPECT_NEAR(rows[2].values[4], 310.0, 1e-9);
    EXPECT_NEAR(rows[3].values[4], 2430.0, 1e-9);
    EXPECT_NEAR(rows[4].values[4], 21290.0, 1e-9);
    EXPECT_EQ(rows[5].date_text, "2026-02-11");
    expect_values(rows[5], {0.9959770769520493, 9959770.769520493, 29.0 / 360.0, 16072.170555555558,
                            16059.230479506776, 0.9975771412122265});
    EXPECT_EQ(rows[63].description, "Floating Payment/Accrual End/Fixed Payment");
    expect_values(rows[63], {0.90300152498261, 9030015.2498261, 28.0 / 360.0, 14068.5577994663,
                             14057.62125937827, 0.8512640997507235});
}

TEST(Cashflow, ZeroRateKeepsTheLastPublishedFactor) {
    const std::vector<CashflowRow> rows = cashflow_rows(*make_reference_swap(), trade_date, 0.0);
    EXPECT_NEAR(rows[4].values[4], 21290.0, 1e-9);
    for (std::size_t i = 5; i < rows.size(); ++i) EXPECT_EQ(rows[i].values[4], 0.0);
}

}  // namespace
}  // namespace qvl::testing
