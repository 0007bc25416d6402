// What a risk calculation leaves on a swap handle. What valuations, failed ones included, leave
// on it (the rate and trade date the worksheet and the service show, and the projection a payment
// at the held rate reads) is pinned by the scenario comparison, which shows the swap after each.

#include "objects/held_swap.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "../core/swap_test_support.hpp"
#include "objects/object_cache.hpp"

namespace qvl::testing {
namespace {

using objects::HeldSwap;
using objects::ObjectCache;
using objects::SwapHandle;

class Held : public ::testing::Test {
  protected:
    std::shared_ptr<const SwapHandle> make_handle() {
        return std::make_shared<const SwapHandle>(make_reference_swap());
    }
    ObjectCache cache;
    const objects::Calculation calculation = cache.calculation();
    HeldSwap swap = calculation.hold(make_handle());
};

TEST_F(Held, RiskLeavesWhatAValuationAtItsRateLeaves) {
    HeldSwap valued = calculation.hold(make_handle());
    swap.solve_from_spread(trade_date, 300.0);  // some other state first
    swap.risk(day("2026-02-17"), 350.0);
    valued.calc_from_event_rate(day("2026-02-17"), 350.0);
    const auto same_memory = [&] {
        EXPECT_EQ(swap.memory().event_rate, valued.memory().event_rate);
        EXPECT_EQ(swap.memory().trade_date, valued.memory().trade_date);
        EXPECT_EQ(swap.trade_payment(day("2026-03-02"), 99.5, true, std::nullopt).total_payment,
                  valued.trade_payment(day("2026-03-02"), 99.5, true, std::nullopt).total_payment);
    };
    same_memory();
    // Without a rate, the held one; a failure leaves the memory as the valuation's failure.
    EXPECT_EQ(swap.risk(trade_date, std::nullopt).upfront_payment,
              swap.swap().calc_from_event_rate(trade_date, 350.0).upfront_payment);
    expect_what([&] { swap.risk(day("2025-01-02"), 250.0); }, before_start);
    expect_what([&] { valued.calc_from_event_rate(day("2025-01-02"), 250.0); }, before_start);
    same_memory();
}

}  // namespace
}  // namespace qvl::testing
