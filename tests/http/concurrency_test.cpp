// The worksheet's calculation thread and the serving thread on one cached swap.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/date.hpp"
#include "service_fixture.hpp"

namespace qvl::service::testing {
namespace {

using ConcurrencyTest = ServiceTest;

TEST_F(ConcurrencyTest, WorksheetAndServiceCalculationsOnOneSwapDoNotMix) {
    const auto swap = store_reference();
    std::atomic<bool> done{false};
    std::atomic<int> worksheet_calls{0};
    // Each call takes the lock as a worksheet function does, and leaves the swap at other rates.
    std::thread worksheet([&] {
        const Date t = parse_date("2026-01-20");
        while (!done.load()) {
            const auto lock = objects::ObjectCache::instance().calculation_lock();
            const double rate = swap->calc_from_event_rate(t, 50, "x").credit_event_rate;
            swap->solve_from_spread(t, 300.0 + rate, "x");
            ++worksheet_calls;
        }
    });
    Client client(port_);
    int wrong = 0;
    for (int i = 0; i < 5000 && (i < 200 || worksheet_calls.load() < 20); ++i) {
        if (client.request("POST", "/qvl", calculate_at200).body != reference_valuation) ++wrong;
    }
    done = true;
    worksheet.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(worksheet_calls.load(), 20);
}

}  // namespace
}  // namespace qvl::service::testing
