// The object store: handle texts and order, lookups by index, and what a clear releases.

#include "objects/object_cache.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "../core/swap_test_support.hpp"

namespace {

using qvl::QVLSwap;
using qvl::objects::ObjectCache;

class Cache : public testing::Test {
  protected:
    void SetUp() override { cache.ClearAll(); }
    void TearDown() override { cache.ClearAll(); }
    // The reference swap on a series of another index, stored with its series and curve
    // under new handles.
    std::shared_ptr<QVLSwap> store(const std::string& index) {
        auto swap = qvl::testing::make_named_swap(index, "name");
        cache.StoreCurve(cache.MakeHandle("YC"), swap->curve);
        cache.StoreSeries(cache.MakeHandle("Series"), swap->series);
        cache.StoreSwap(cache.MakeHandle("Swap"), swap);
        return swap;
    }
    ObjectCache& cache = ObjectCache::instance();
};

TEST_F(Cache, HandlesShareOneCounterAndSortAsText) {
    EXPECT_EQ(cache.MakeHandle("YC"), "#YC_1");
    cache.ClearAll();
    store("7");                      // #Swap_3
    store("7");                      // #Swap_6
    const auto third = store("8");   // #Swap_9
    const auto fourth = store("7");  // #Swap_12
    EXPECT_EQ(cache.FirstSwap(), fourth);
    EXPECT_EQ(cache.FindSwapByIndex("7"), fourth);
    EXPECT_EQ(cache.FindSwapByIndex("8"), third);
    EXPECT_EQ(cache.ListSeries().front().first, "#Series_11");
    EXPECT_EQ(cache.FindSwapByIndex(" 7"), nullptr);
}

TEST_F(Cache, ACallersNewObjectDropsItsEarlierOne) {
    const auto first = store("1");  // #YC_1, #Series_2, #Swap_3
    cache.set_owner("[Book1]Sheet1!R1C1", "#YC_1");
    cache.set_owner("[Book1]Sheet1!R2C1", "#Series_2");
    cache.set_owner("[Book1]Sheet1!R1C2", "#Swap_3");
    const auto second = store("1");  // #YC_4, #Series_5, #Swap_6
    cache.set_owner("[Book1]Sheet1!R1C1", "#YC_4");
    cache.set_owner("[Book1]Sheet1!R2C1", "#Series_5");
    EXPECT_EQ(cache.FindCurve("#YC_1"), nullptr);
    EXPECT_EQ(cache.FindSeries("#Series_2"), nullptr);
    // The swap of the first round still holds what its cells no longer do.
    EXPECT_EQ(cache.FindSwap("#Swap_3"), first);
    EXPECT_EQ(first->series.use_count(), 1);
    EXPECT_EQ(cache.Counts().swaps, 2u);
    // A failed call from a cell drops its object and forgets the cell; unknown cells are no-ops.
    cache.drop_owned("[Book1]Sheet1!R1C2");
    cache.drop_owned("[Book1]Sheet1!R9C9");
    EXPECT_EQ(cache.FindSwap("#Swap_3"), nullptr);
    EXPECT_EQ(cache.FirstSwap(), second);
    EXPECT_EQ(cache.owner_count(), 2u);
    EXPECT_EQ(first.use_count(), 1);  // only this test's copy is left
    // Clearing releases every object not held elsewhere; a swap still in use keeps what it
    // reaches and can still be valued.
    std::weak_ptr<QVLSwap> released = store("2");
    std::weak_ptr<const qvl::YieldCurve> released_curve = released.lock()->curve;
    const auto held = store("3");
    cache.ClearAll();
    EXPECT_TRUE(released.expired());
    EXPECT_TRUE(released_curve.expired());
    EXPECT_EQ(held.use_count(), 1);
    EXPECT_EQ(held->series.use_count(), 1);
    EXPECT_NO_THROW(held->calc_from_event_rate(qvl::parse_date("2026-01-20"), 200, ""));
    EXPECT_EQ(cache.owner_count(), 0u);
    EXPECT_EQ(cache.MakeHandle("YC"), "#YC_1");
}

}  // namespace
