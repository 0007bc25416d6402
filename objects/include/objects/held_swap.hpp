#pragma once

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/cashflow.hpp"
#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/results.hpp"
#include "core/risk.hpp"

namespace qvl::objects {

// What a swap handle remembers of the latest valuation made through it: the rate (which
// QVL.GetSwapInfo and the service's Specs show, and which a call without a rate of its own
// uses), the trade date (which Specs shows), and where that valuation took the series' factors
// from (a payment at the held rate reads its accrued coupon there).
struct SwapMemory {
    double event_rate = 0.0;
    Date trade_date = invalid_date;
    std::optional<FactorProjection> projection;
};

class Calculation;

// A cached swap and what its handle remembers, which only a Calculation (the lock over every
// handle's memory, objects/object_cache.hpp) reaches.
class SwapHandle {
  public:
    explicit SwapHandle(std::shared_ptr<const QVLSwap> swap_in)
        : swap(std::move(swap_in)), memory_{swap->initial_event_rate, invalid_date, std::nullopt} {}

    const std::shared_ptr<const QVLSwap> swap;

  private:
    friend class Calculation;
    mutable SwapMemory memory_;
};

// A swap handle in the hands of a Calculation: the worksheet's and the service's operations.
// Each values the immutable swap and then writes the memory, in one place, also when it fails:
// a failure leaves exactly what the operation had taken before failing (the rate and date it
// was given, the projection once made). A missing rate (nullopt) is the rate the handle holds.
// Valid while the Calculation that made it is held.
class HeldSwap {
  public:
    const QVLSwap& swap() const { return swap_; }
    const SwapMemory& memory() const { return memory_; }

    ValuationResult calc_from_event_rate(Date t, double event_rate);
    ValuationResult solve_from_spread(Date t, double conventional_spread);
    ValuationResult solve_from_upfront(Date t, double upfront_fee);
    // A new rate, or a handle not valued yet, projects the periods afresh from t; at the held
    // rate the accrued coupon is read from the latest valuation's projection.
    TradePayment trade_payment(Date t, double clean_price, bool initiation,
                               std::optional<double> event_rate);
    PnLResult trade_pnl(Date t1, double clean_price_1, Date t2, double clean_price_2,
                        double event_rate);
    std::vector<CashflowRow> cashflow_rows(Date t, std::optional<double> event_rate);
    RiskResult risk(Date t, std::optional<double> event_rate);

  private:
    friend class Calculation;
    HeldSwap(std::shared_ptr<const SwapHandle> handle, SwapMemory& memory)
        : handle_(std::move(handle)), swap_(*handle_->swap), memory_(memory) {}

    // Keeps the swap alive should its handle leave the cache meanwhile.
    std::shared_ptr<const SwapHandle> handle_;
    const QVLSwap& swap_;
    SwapMemory& memory_;
};

}  // namespace qvl::objects
