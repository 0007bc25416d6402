#include "core/self_check.hpp"

#include <cmath>
#include <exception>
#include <sstream>
#include <stdexcept>

#include "core/date.hpp"
#include "core/yield_curve.hpp"

namespace qvl {

std::shared_ptr<QVLSwap> make_reference_swap(bool is_buyer) {
    const CurveInput pairs = {
        {"1M", 0.039765}, {"2M", 0.038988}, {"3M", 0.038419}, {"6M", 0.036977}, {"9M", 0.035929},
        {"1Y", 0.034978}, {"2Y", 0.032768}, {"3Y", 0.032442}, {"4Y", 0.032632}, {"5Y", 0.033017},
        {"6Y", 0.033524}, {"7Y", 0.03407},  {"8Y", 0.034626}, {"9Y", 0.035181}, {"10Y", 0.035712}};
    auto curve = std::make_shared<const YieldCurve>(parse_date("2026-01-20"), pairs);

    const FactorRows factors = {{parse_date("2025-09-01"), 1.0},
                                {parse_date("2025-10-01"), 0.999986},
                                {parse_date("2025-11-01"), 0.999955},
                                {parse_date("2025-12-01"), 0.999712},
                                {parse_date("2026-01-01"), 0.997583}};
    auto series = std::make_shared<QVLSeries>("1", "1 (Sep 25)", parse_date("2025-09-11"),
                                              parse_date("2030-12-11"), 2.0, factors);
    return std::make_shared<QVLSwap>(series, curve, is_buyer, 200.0, 10000000.0);
}

void check_close(double actual, double expected, double tolerance, const std::string& message) {
    // Written so that a NaN difference fails too.
    if (std::fabs(actual - expected) < tolerance && std::isfinite(actual)) return;
    std::ostringstream text;
    text.precision(12);
    text << message << " (expected " << expected << ", got " << actual << ")";
    throw std::runtime_error(text.str());
}

namespace {

void run_scenario() {
    const auto swap = make_reference_swap(true);
    const YieldCurve& curve = *swap->curve;
    const Date t = parse_date("2026-01-20");

    check_close(curve.discount_factor(t), 1.0, 1e-10,
                "DF at 2026-01-20 not matching expected value");
    check_close(curve.discount_factor(parse_date("2027-01-20")), 0.9657051100400302, 1e-10,
                "DF at 2027-01-20 not matching expected value");
    check_close(curve.discount_factor(parse_date("2030-12-11")), 0.8512640997507235, 1e-10,
                "DF at 2030-12-11 not matching expected value");

    const ValuationResult calc = swap->calc_from_event_rate(t, 200.0);
    check_close(calc.credit_event_rate, 200.0, 1e-8,
                "calc_from_event_rate: Credit Event Rate mismatch");
    check_close(calc.upfront_fee, 0.03146156, 1e-8, "calc_from_event_rate: Upfront fee mismatch");
    check_close(calc.conventional_spread, 200.720859, 1e-8,
                "calc_from_event_rate: Conventional spread mismatch");

    const ValuationResult spread = swap->solve_from_spread(t, 200.720859);
    check_close(spread.credit_event_rate, 200.0, 1e-8,
                "solve_from_spread: Credit Event Rate mismatch");
    check_close(spread.upfront_fee, 0.03146157, 1e-8, "solve_from_spread: Upfront fee mismatch");
    check_close(spread.conventional_spread, 200.720859, 1e-8,
                "solve_from_spread: Conventional spread mismatch");

    const ValuationResult upfront = swap->solve_from_upfront(t, 0.03146156);
    check_close(upfront.credit_event_rate, 200.0, 1e-8,
                "solve_from_upfront: Credit Event Rate mismatch");
    check_close(upfront.upfront_fee, 0.03146156, 1e-8, "solve_from_upfront: Upfront fee mismatch");
    check_close(upfront.conventional_spread, 200.720859, 1e-8,
                "solve_from_upfront: Conventional spread mismatch");

    const PnLResult pnl = swap->trade_pnl(parse_date("2025-09-11"), 100.4523, t, 99.5477, 200.0);
    check_close(pnl.current_notional_trade, 10000000.0, 1e-8,
                "PnL: Current Notional Trade mismatch");
    check_close(pnl.upfront_payment_trade, 45230.0, 1e-8, "PnL: Upfront Payment Trade mismatch");
    check_close(pnl.accrued_interest_trade, 0.0, 1e-8, "PnL: Accrued Interest Trade mismatch");
    check_close(pnl.total_payment_trade, 45230.0, 1e-8, "PnL: Total Payment Trade mismatch");
    check_close(pnl.current_notional_close, 9975830.0, 1e-8,
                "PnL: Current Notional Close mismatch");
    check_close(pnl.upfront_payment_close, 45120.67909, 1e-8,
                "PnL: Upfront Payment Close mismatch");
    check_close(pnl.accrued_interest_close, -3879.48944444, 1e-8,
                "PnL: Accrued Interest Close mismatch");
    check_close(pnl.total_payment_close, 41241.18964555, 1e-8, "PnL: Total Payment Close mismatch");
    check_close(pnl.fixed_payments, -68882.50944444, 1e-8, "PnL: Fixed Payments mismatch");
    check_close(pnl.floating_payments, 24170.0, 1e-8, "PnL: Floating Payments mismatch");
    check_close(pnl.trade_pnl, 41758.68020111, 1e-8, "PnL: Trade PnL mismatch");

    check_close(swap->trade_payment(t, 99.5477, false, 200.0).total_payment, 41241.18964555, 1e-8,
                "get_trade_total_payment mismatch");
}

}  // namespace

std::string run_self_check() {
    try {
        run_scenario();
        return "ok";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

}  // namespace qvl
