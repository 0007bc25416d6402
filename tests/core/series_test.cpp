#include <gtest/gtest.h>

#include <cmath>

#include "core/calendar.hpp"
#include "swap_test_support.hpp"

namespace qvl::testing {
namespace {

const char* const series_message = "QVLSeries interpolate_writedown_factor: ";

TEST(Series, RollsEachFactorToTheFollowingPublicationDate) {
    const auto series = make_series("2030-12-11");
    ASSERT_EQ(series->factors.size(), 5u);
    const char* rolls[] = {"2025-09-11", "2025-10-10", "2025-11-13", "2025-12-10", "2026-01-13"};
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(series->factors[i].roll_date, day(rolls[i]));
    EXPECT_EQ(series->coupon_bps, 200.0);

    FactorRows with_zero = reference_rows;
    with_zero[2].second = 0.0;
    EXPECT_EQ(make_series("2030-12-11", with_zero)->factors.size(), 4u);
}

TEST(Series, ConstructionRejectsUnusableInput) {
    const auto build = [](const char* start, const FactorRows& rows) {
        return [=] { QVLSeries("1", "n", day(start), day("2030-12-11"), 2.0, rows); };
    };
    expect_runtime_error(build("2025-09-13", reference_rows),
                         "QVLSeries validate: start_date is not a business day");
    expect_runtime_error(build("2025-09-11", {{day("2025-09-01"), 0.0}, {day("2025-10-01"), -1}}),
                         "QVLSeries validate: no writedown factors");
    // A row dated on a publication date rolls to the next month's.
    expect_runtime_error(build("2025-09-11", {{day("2025-09-11"), 1.0}}),
                         "QVLSeries validate: index factors start date is after start_date");
    const char* order = "QVLSeries validate: factor dates are not in ascending order";
    expect_runtime_error(
        build("2025-09-11",
              {{day("2025-09-01"), 1.0}, {day("2025-11-01"), 0.9}, {day("2025-10-01"), 0.8}}),
        order);
    // Two rows of one publication month would share a roll date.
    expect_runtime_error(build("2025-09-11", {{day("2025-09-01"), 1.0}, {day("2025-09-05"), 1.0}}),
                         order);
}

TEST(Series, ConstructionRejectsLivesAndNumbersNoSwapCanValue) {
    const auto build = [](const char* maturity, double coupon, double factor) {
        return [=] {
            QVLSeries("1", "n", day("2025-09-11"), day(maturity), coupon,
                      {{day("2025-09-01"), factor}});
        };
    };
    for (const char* maturity : {"2025-09-11", "2025-09-10", "2024-01-02"}) {
        expect_runtime_error(build(maturity, 2.0, 1.0),
                             "QVLSeries validate: maturity_date is not after start_date");
    }
    for (double coupon : {10000.5, -1e308, 1e308}) {
        expect_runtime_error(build("2030-12-11", coupon, 1.0),
                             "QVLSeries validate: coupon beyond 10000 % not supported");
    }
    expect_runtime_error(build("2030-12-11", 2.0, 1e308),
                         "QVLSeries validate: writedown factor above 1e6 not supported");
    // A day of life, a negative coupon (which the swap refuses) and the bounds themselves pass.
    EXPECT_NO_THROW(build("2025-09-12", 2.0, 1.0)());
    EXPECT_NO_THROW(build("2030-12-11", -2.0, 1.0)());
    EXPECT_NO_THROW(build("2030-12-11", 10000.0, 1e6)());
}

TEST(Series, TradeDateSetsAnchorAndProjectionStart) {
    const auto series = make_series("2030-12-11");
    const FactorProjection at = series->validate_tradeDate(trade_date, 200.0);
    EXPECT_EQ(at.trade_date, trade_date);
    EXPECT_EQ(at.anchor, 4u);
    EXPECT_EQ(at.projection_start, day("2026-02-11"));
    EXPECT_EQ(at.event_rate, 200.0);
    // Before the projection start the trade date's factor is a published one.
    EXPECT_EQ(at.trade_publication, invalid_date);
    EXPECT_EQ(series->validate_tradeDate(day("2026-03-20"), 200.0).trade_publication,
              day("2026-03-11"));

    const FactorProjection first = series->validate_tradeDate(day("2025-09-11"), 200.0);
    EXPECT_EQ(first.anchor, 0u);
    EXPECT_EQ(first.projection_start, day("2025-10-10"));

    expect_runtime_error([&] { series->validate_tradeDate(day("2030-12-11"), 200.0); },
                         "QVLSeries validate_tradeDate: tradeDate_in is at or after swap end date");
    expect_runtime_error([&] { series->validate_tradeDate(day("2025-09-10"), 200.0); },
                         "QVLSeries validate_tradeDate: tradeDate_in is before swap start date");
}

TEST(Series, PublishedFactorsUntilProjectionStartThenDecay) {
    const auto series = make_series("2030-12-11");
    const FactorProjection at = series->validate_tradeDate(trade_date, 200.0);
    const auto factor = [&](const char* d) {
        return series->interpolate_writedown_factor(at, day(d));
    };
    EXPECT_EQ(factor("2026-01-20"), 0.997583);
    EXPECT_EQ(factor("2025-11-12"), 0.999986);
    EXPECT_NEAR(factor("2026-02-11"), 0.9959770769520493, 1e-15);
    EXPECT_NEAR(factor("2026-03-11"), 0.9944289836615168, 1e-15);
    EXPECT_NEAR(factor("2030-12-11"), 0.90300152498261, 1e-14);
    EXPECT_EQ(factor("2026-02-20"), factor("2026-02-11"));

    // The shortcut for publication dates agrees with the general lookup on every one of them.
    for (Date p = day("2025-09-11"); p < day("2031-01-01"); p = next_publication_date(p, true)) {
        EXPECT_EQ(series->writedown_factor_at_publication(at, p),
                  series->interpolate_writedown_factor(at, p));
    }

    // A trade date past the projection start reads its own factor from the latest publication.
    const Date march_1 = day("2026-03-01");
    EXPECT_NEAR(
        series->interpolate_writedown_factor(series->validate_tradeDate(march_1, 200.0), march_1),
        0.9959770769520493, 1e-15);
    const Date march_20 = day("2026-03-20");
    EXPECT_NEAR(
        series->interpolate_writedown_factor(series->validate_tradeDate(march_20, 200.0), march_20),
        0.9944289836615168, 1e-15);

    const FactorProjection flat = series->validate_tradeDate(trade_date, 0.0);
    EXPECT_EQ(series->interpolate_writedown_factor(flat, day("2029-06-01")), 0.997583);
}

TEST(Series, FactorLookupNeedsTradeDateRateAndHistory) {
    const auto series = make_series("2030-12-11");
    const std::string prefix = series_message;
    expect_runtime_error([&] { series->interpolate_writedown_factor({}, trade_date); },
                         prefix + "tradeDate not set");
    const FactorProjection no_rate = series->validate_tradeDate(trade_date, std::nan(""));
    expect_runtime_error([&] { series->interpolate_writedown_factor(no_rate, trade_date); },
                         prefix + "eventRate not set");
    const FactorProjection at = series->validate_tradeDate(trade_date, 200.0);
    expect_runtime_error([&] { series->interpolate_writedown_factor(at, day("2025-09-10")); },
                         prefix + "date_in is before first series roll date");
}

}  // namespace
}  // namespace qvl::testing
