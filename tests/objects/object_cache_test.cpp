// The object store: handle texts and order, lookups by index, and what a clear releases.

#include "objects/object_cache.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "../core/swap_test_support.hpp"
#include "text/text_error.hpp"

namespace {

using qvl::QVLSeries;
using qvl::QVLSwap;
using qvl::YieldCurve;
using qvl::objects::ObjectCache;
using qvl::objects::SwapHandle;

class Cache : public testing::Test {
  protected:
    // The reference swap on a series of another index, stored with its series and curve
    // under new handles, the three owned by the cells given.
    std::shared_ptr<const SwapHandle> store(const std::string& index,
                                            const std::optional<std::string>& curve_cell = {},
                                            const std::optional<std::string>& series_cell = {},
                                            const std::optional<std::string>& swap_cell = {}) {
        std::shared_ptr<const QVLSwap> swap = qvl::testing::make_named_swap(index, "name");
        cache.add(swap->curve, curve_cell);
        cache.add(swap->series, series_cell);
        auto handle = std::make_shared<const SwapHandle>(std::move(swap));
        cache.add(handle, swap_cell);
        return handle;
    }
    ObjectCache cache;
};

// Handle numbers, their order as text, and which swap an index or no index finds are the
// scenario comparison's (the series listing and the service's specs show them).
TEST_F(Cache, EachKindFindsOnlyItsOwnHandles) {
    store("7");  // #Swap_3
    EXPECT_EQ(cache.find_swap_by_index(" 7"), nullptr);
    // A missing handle is named with the kind looked for.
    EXPECT_EQ(cache.find<YieldCurve>("#Swap_3"), nullptr);
    expect_what<qvl::text::TextError>([&] { cache.require<QVLSeries>("#Swap_3"); },
                                      "Series handle not found: #Swap_3");
    expect_what<qvl::text::TextError>([&] { cache.require<YieldCurve>("#x"); },
                                      "Curve handle not found: #x");
}

TEST_F(Cache, ACallersNewObjectDropsItsEarlierOne) {
    // #YC_1, #Series_2, #Swap_3, then #YC_4, #Series_5, #Swap_6 from two of the same cells.
    const auto first = store("1", "[Book1]Sheet1!R1C1", "[Book1]Sheet1!R2C1", "[Book1]Sheet1!R1C2");
    const auto second = store("1", "[Book1]Sheet1!R1C1", "[Book1]Sheet1!R2C1");
    EXPECT_EQ(cache.find<YieldCurve>("#YC_1"), nullptr);
    EXPECT_EQ(cache.find<QVLSeries>("#Series_2"), nullptr);
    // The swap of the first round still holds what its cells no longer do.
    EXPECT_EQ(cache.find<SwapHandle>("#Swap_3"), first);
    EXPECT_EQ(first->swap->series.use_count(), 1);
    EXPECT_EQ(cache.counts().swaps, 2u);
    // A failed call from a cell drops its object and forgets the cell; unknown cells are no-ops.
    cache.drop_owned("[Book1]Sheet1!R1C2");
    cache.drop_owned("[Book1]Sheet1!R9C9");
    EXPECT_EQ(cache.find<SwapHandle>("#Swap_3"), nullptr);
    EXPECT_EQ(cache.first_swap(), second);
    EXPECT_EQ(cache.owner_count(), 2u);
    EXPECT_EQ(first.use_count(), 1);  // only this test's copy is left
    // Clearing releases every object not held elsewhere; a swap still in use keeps what it
    // reaches and can still be valued.
    std::weak_ptr<const SwapHandle> released = store("2");
    std::weak_ptr<const YieldCurve> released_curve = released.lock()->swap->curve;
    const auto held = store("3");
    cache.clear();
    EXPECT_TRUE(released.expired());
    EXPECT_TRUE(released_curve.expired());
    EXPECT_EQ(held.use_count(), 1);
    EXPECT_EQ(held->swap->series.use_count(), 1);
    EXPECT_NO_THROW(
        cache.calculation().hold(held).calc_from_event_rate(qvl::parse_date("2026-01-20"), 200));
    EXPECT_EQ(cache.owner_count(), 0u);
    EXPECT_EQ(cache.counts().curves, 0u);
    EXPECT_EQ(cache.add(held->swap->curve), "#YC_1");
}

}  // namespace
