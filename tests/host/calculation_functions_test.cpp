// Valuations, solves, payments, PnL, the cashflow table and the curve functions of the
// reference workbook through the stand-in host.

#include <cmath>
#include <string>
#include <vector>

#include "workbook.hpp"

namespace {

using standin::Value;
using workbook::expect_record;

const Value missing = Value::missing();
const char* const at_maturity =
    "QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date";

class Calculations : public Workbook {
  protected:
    void SetUp() override {
        Workbook::SetUp();
        build_reference();
    }
};

// The reference valuation at 2026-01-20 and 200 bp, rows 1 to 15.
// clang-format off
const std::vector<Value> reference_valuation = {
    "Upfront Fee (%)",           0.03146156,
    "Conventional Spread (bp)",  200.720859,
    "Par Spread (bp)",           199.830577,
    "Credit Event Rate (bp)",    200.0,
    "Clean Price",               99.96853844,
    "Current Notional",          9975830.0,
    "Upfront Payment",           -3138.55,
    "Accrued Interest",          3879.49,
    "Cash Settlement Amount",    740.94,
    "Index Factor at Trade",     0.997583,
    "Index Factor at Maturity",  0.90300152,
    "Trade Date",                "2026-01-20",
    "Settlement Date",           "2026-01-23",
    "Payment Date",              "2026-02-11",
    "OIS Date",                  "2026-01-20"};
// clang-format on

TEST_F(Calculations, ValuesAndSolvesTheReferenceSwap) {
    expect_record(host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-01-20", 200}),
                  reference_valuation);
    // A date serial works as well as a text.
    expect_record(host.call("QVL.CalcFromEventRate", {"#Swap_3", 46042, 200}), reference_valuation);

    // The solves land on the reference rate; rows 1 to 4 as documented.
    const auto expect_solved = [&](const Value& grid, double upfront_fee) {
        expect_record(grid, {"Upfront Fee (%)", upfront_fee,          //
                             "Conventional Spread (bp)", 200.720859,  //
                             "Par Spread (bp)", 199.830577,           //
                             "Credit Event Rate (bp)", 200.0});
    };
    const auto first_rows = [](const Value& grid) {
        std::vector<Value> cells(grid.grid().cells.begin(), grid.grid().cells.begin() + 8);
        return Value::grid(4, 2, std::move(cells));
    };
    const Value spread = host.call("QVL.SolveFromSpread", {"#Swap_3", "2026-01-20", 200.720859});
    ASSERT_EQ(spread.rows(), 15);
    expect_solved(first_rows(spread), 0.03146157);
    const Value upfront = host.call("QVL.SolveFromUpfront", {"#Swap_3", "2026-01-20", 0.03146156});
    ASSERT_EQ(upfront.rows(), 15);
    expect_solved(first_rows(upfront), 0.03146156);

    // The OIS date is the curve's, whatever the trade date.
    const Value later = host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-03-02", 200});
    EXPECT_EQ(later.at(11, 1), Value("2026-03-02"));
    EXPECT_EQ(later.at(14, 1), Value("2026-01-20"));
    // A missing event rate arrives as 0.
    EXPECT_EQ(host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-01-20"}).at(3, 1), Value(0));
}

TEST_F(Calculations, CalculationMessagesReplaceTheGrid) {
    for (const char* function : {"QVL.CalcFromEventRate", "QVL.SolveFromSpread",  //
                                 "QVL.SolveFromUpfront", "QVL.TotalPayment"}) {
        SCOPED_TRACE(function);
        EXPECT_EQ(host.call(function, {"#Swap_3", ""}), Value("Invalid trade date"));
        EXPECT_EQ(host.call(function, {"#Swap_3", -1}), Value("Invalid trade date"));
        EXPECT_EQ(host.call(function, {"#Swap_3", "x"}), Value("invalid stoi argument"));
        EXPECT_EQ(host.call(function, {"#Swap_9", "2026-01-20"}),
                  Value("Swap handle not found: #Swap_9"));
    }
    EXPECT_EQ(host.call("QVL.CalcFromEventRate", {"#Swap_3", "2030-12-11", 200}),
              Value(at_maturity));
    EXPECT_EQ(host.call("QVL.SolveFromSpread", {"#Swap_3", "2030-12-11", 200}),
              Value("QVL Swap calculator is unable to solve for the Credit Event Rate given a "
                    "Conventional Spread of 200.000000 bps"));

    EXPECT_EQ(host.call("QVL.TradePnL", {"#Swap_3", "2025-09-11", 100, missing, 99}),
              Value("Invalid trade date(s)"));
    EXPECT_EQ(host.call("QVL.TradePnL", {"#Swap_3", Value::boolean(true), 100, "2026-01-20", 99}),
              Value("Invalid trade date(s)"));
    EXPECT_EQ(host.call("QVL.TradePnL", {"#Swap_3", "hello", 100, "2026-01-20", 99}),
              Value("invalid stoi argument"));
}

TEST_F(Calculations, TextsThatNameNoDayAreInvalidTradeDates) {
    for (const char* text : {"2026-02-30", "2026-1-21"}) {
        SCOPED_TRACE(text);
        for (const char* function :
             {"QVL.CalcFromEventRate", "QVL.SolveFromSpread", "QVL.SolveFromUpfront",
              "QVL.TotalPayment", "QVL.CashflowTable"}) {
            EXPECT_EQ(host.call(function, {"#Swap_3", text, 200}), Value("Invalid trade date"))
                << function;
        }
        EXPECT_EQ(host.call("QVL.TradePnL", {"#Swap_3", "2025-09-11", 100, text, 99}),
                  Value("Invalid trade date(s)"));
        EXPECT_EQ(host.call("QVL.DiscountFactor", {"#YC_1", text}), Value("Invalid target date"));
    }
}

TEST_F(Calculations, QuotesNoRateReproducesAnswerTheSolversMessage) {
    // At the 2000 bp bound the fee is 53.04 %: the grid would show 90 % beside a swap worth that.
    EXPECT_EQ(host.call("QVL.SolveFromUpfront", {"#Swap_3", "2026-01-20", 90}),
              Value("QVL Swap calculator is unable to solve for the Credit Event Rate given an "
                    "Upfront Fee of 90.000000 %"));
    EXPECT_EQ(host.call("QVL.SolveFromSpread", {"#Swap_3", "2026-01-20", 40000}),
              Value("QVL Swap calculator is unable to solve for the Credit Event Rate given a "
                    "Conventional Spread of 40000.000000 bps"));
    EXPECT_EQ(host.call("QVL.GetSwapInfo", {"#Swap_3"}).at(3, 1), Value(200));
    expect_record(host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-01-20", 200}),
                  reference_valuation);
}

TEST_F(Calculations, TradePnLAndPayments) {
    // clang-format off
    const std::vector<Value> pnl = {
        "Current Notional (Trade)",  10000000.0,
        "Upfront Payment (Trade)",   45230.0,
        "Accrued Interest (Trade)",  0.0,
        "Total Payment (Trade)",     45230.0,
        "Current Notional (Close)",  9975830.0,
        "Upfront Payment (Close)",   45120.67909,
        "Accrued Interest (Close)",  -3879.48944444,
        "Total Payment (Close)",     41241.18964555,
        "Fixed Payments",            -68882.50944444,
        "Floating Payments",         24170.0,
        "Trade PnL",                 41758.68020111,
        "Trade Init Date",           "2025-09-16",
        "Trade Close Date",          "2026-01-23",
        "OIS Date",                  "2026-01-20"};
    // clang-format on
    expect_record(
        host.call("QVL.TradePnL", {"#Swap_3", "2025-09-11", 100.4523, "2026-01-20", 99.5477, 200}),
        pnl);

    const std::vector<Value> opening = {"Current Notional", 9975830.0,      //
                                        "Upfront Payment",  -45120.67909,   //
                                        "Accrued Interest", 3879.48944444,  //
                                        "Total Payment",    -41241.18964555};
    const std::vector<Value> closing = {"Current Notional", 9975830.0,       //
                                        "Upfront Payment",  45120.67909,     //
                                        "Accrued Interest", -3879.48944444,  //
                                        "Total Payment",    41241.18964555};
    expect_record(host.call("QVL.TotalPayment", {"#Swap_3", "2026-01-20", 99.5477, 1, 200}),
                  opening);
    expect_record(host.call("QVL.TotalPayment", {"#Swap_3", "2026-01-20", 99.5477, missing, 200}),
                  opening);
    expect_record(host.call("QVL.TotalPayment", {"#Swap_3", "2026-01-20", 99.5477, 0, 200}),
                  closing);
    expect_record(host.call("QVL.TotalPayment",
                            {"#Swap_3", "2026-01-20", 99.5477, Value::boolean(false), 200}),
                  closing);

    // Without a rate the payment uses the one the last valuation left in the swap (the notional
    // in March depends on it).
    const auto march = [&](const Value& rate) {
        return host.call("QVL.TotalPayment", {"#Swap_3", "2026-03-02", 99.5, 0, rate});
    };
    const Value at_200 = march(200);
    host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-01-20", 500});
    const Value kept = march(missing);
    EXPECT_EQ(kept, march(500));
    EXPECT_NE(kept, at_200);
}

TEST_F(Calculations, CashflowTableOfTheReferenceSwap) {
    const Value table = host.call("QVL.CashflowTable", {"#Swap_3", "2026-01-20"});
    ASSERT_EQ(table.kind(), Value::Kind::grid) << table;
    ASSERT_EQ(table.rows(), 65);
    ASSERT_EQ(table.columns(), 8);
    const std::vector<Value> headers = {"Description",           "Date",                     //
                                        "Index Factor",          "Current Notional Amount",  //
                                        "Accrual Factor",        "Fixed Rate Payment",       //
                                        "Floating Rate Payment", "Discount Factor"};
    const auto expect_row = [&](int r, const std::vector<Value>& cells) {
        SCOPED_TRACE("row " + std::to_string(r));
        for (int c = 0; c < 8; ++c) {
            const Value& want = cells[static_cast<std::size_t>(c)];
            if (want.is_number()) {
                ASSERT_TRUE(table.at(r, c).is_number()) << table.at(r, c);
                EXPECT_NEAR(table.at(r, c).number(), want.number(),
                            1e-9 * std::fabs(want.number()));
            } else {
                EXPECT_EQ(table.at(r, c), want);
            }
        }
    };
    expect_row(0, headers);
    expect_row(
        1, {"First Index Effective/Accrual Start", "2025-09-11", 1.0, 10000000.0, "", "", "", ""});
    expect_row(2, {"Floating Payment/Accrual End/Fixed Payment/Accrual Start", "2025-10-10",
                   0.999986, 9999860.0, 0.08055555555555556, 16111.111111111113, 140.0, 1.0});
    expect_row(6, {"Floating Payment/Accrual End/Fixed Payment/Accrual Start", "2026-02-11",
                   0.9959770769520493, 9959770.769520493, 0.08055555555555556, 16072.170555555558,
                   16059.230479506776, 0.9975771412122265});
    expect_row(64, {"Floating Payment/Accrual End/Fixed Payment", "2030-12-11", 0.90300152498261,
                    9030015.2498261, 0.07777777777777778, 14068.5577994663, 14057.62125937827,
                    0.8512640997507235});

    // A numeric rate replaces the swap's; 0 keeps every later factor at the last published one.
    EXPECT_EQ(host.call("QVL.CashflowTable", {"#Swap_3", "2026-01-20", 200}), table);
    const Value flat = host.call("QVL.CashflowTable", {"#Swap_3", 46042, 0});
    EXPECT_EQ(flat.at(5, 1), Value("2026-01-13"));
    for (int r = 6; r < 65; ++r) EXPECT_EQ(flat.at(r, 6), Value(0)) << r;
    EXPECT_EQ(host.call("QVL.GetSwapInfo", {"#Swap_3"}).at(7, 1), Value(0));
    // A text rate keeps the one the swap holds now.
    EXPECT_EQ(host.call("QVL.CashflowTable", {"#Swap_3", 46042, "200"}), flat);

    EXPECT_EQ(host.call("QVL.CashflowTable", {"#Swap_3", "2030-12-11"}), Value(at_maturity));
    EXPECT_EQ(host.call("QVL.CashflowTable", {"#Swap_3", -5}), Value("Invalid trade date"));
    EXPECT_EQ(host.call("QVL.CashflowTable", {"h", "2026-01-20"}),
              Value("Swap handle not found: h"));
}

TEST_F(Calculations, CurveFunctions) {
    EXPECT_EQ(host.call("QVL.DiscountFactor", {"#YC_1", "2027-01-20"}), Value(0.9657051100400302));
    EXPECT_EQ(host.call("QVL.DiscountFactor", {"#YC_1", 46042}), Value(1.0));
    const Value forward = host.call("QVL.ForwardRate1D", {"#YC_1", "2026-06-01"});
    ASSERT_TRUE(forward.is_number()) << forward;
    EXPECT_GT(forward.number(), 0.03);
    EXPECT_LT(forward.number(), 0.04);
    EXPECT_EQ(host.call("QVL.ForwardRate1D", {"#YC_1", "2026-01-01"}), Value(0));
    for (const char* function : {"QVL.DiscountFactor", "QVL.ForwardRate1D"}) {
        SCOPED_TRACE(function);
        EXPECT_EQ(host.call(function, {"#YC_1", -1}), Value("Invalid target date"));
        EXPECT_EQ(host.call(function, {"#YC_1"}), Value("Invalid target date"));
        EXPECT_EQ(host.call(function, {"#YC_1", "2026-1-1"}), Value("invalid stoi argument"));
        EXPECT_EQ(host.call(function, {"#YC_2", "x"}), Value("Curve handle not found: #YC_2"));
    }
}

}  // namespace
