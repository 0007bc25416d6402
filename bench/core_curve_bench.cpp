#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "core/calendar.hpp"
#include "core/date.hpp"
#include "core/yield_curve.hpp"

namespace {

using namespace qvl;

const CurveInput reference_pairs = {
    {"1M", 0.039765}, {"2M", 0.038988}, {"3M", 0.038419}, {"6M", 0.036977}, {"9M", 0.035929},
    {"1Y", 0.034978}, {"2Y", 0.032768}, {"3Y", 0.032442}, {"4Y", 0.032632}, {"5Y", 0.033017},
    {"6Y", 0.033524}, {"7Y", 0.03407},  {"8Y", 0.034626}, {"9Y", 0.035181}, {"10Y", 0.035712}};

const Date first_day = days_from_civil(2026, 1, 1);
constexpr int span = 20 * 365;

// Per call, over twenty years of consecutive dates.
void BM_is_business_day(benchmark::State& state) {
    Date d = first_day;
    for (auto _ : state) {
        benchmark::DoNotOptimize(is_business_day(d));
        if (++d == first_day + span) d = first_day;
    }
}
BENCHMARK(BM_is_business_day);

void BM_advance_business_days(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    Date d = first_day;
    for (auto _ : state) {
        benchmark::DoNotOptimize(advance_business_days(d, n));
        if (++d == first_day + span) d = first_day;
    }
}
BENCHMARK(BM_advance_business_days)->Arg(0)->Arg(2)->Arg(-3);

void BM_next_publication_date(benchmark::State& state) {
    Date d = first_day;
    for (auto _ : state) {
        benchmark::DoNotOptimize(next_publication_date(d, true));
        if (++d == first_day + span) d = first_day;
    }
}
BENCHMARK(BM_next_publication_date);

void BM_date_from_tenor(benchmark::State& state) {
    const char* tenors[] = {"1M", "3M", "2W", "6ME", "1Y", "10Y"};
    std::size_t i = 0;
    Date d = first_day;
    for (auto _ : state) {
        benchmark::DoNotOptimize(date_from_tenor(d, tenors[i]));
        if (++i == std::size(tenors)) i = 0;
        if (++d == first_day + span) d = first_day;
    }
}
BENCHMARK(BM_date_from_tenor);

void BM_reference_curve_construction(benchmark::State& state) {
    const Date trade = days_from_civil(2026, 1, 20);
    for (auto _ : state) {
        YieldCurve curve(trade, reference_pairs);
        benchmark::DoNotOptimize(curve);
    }
}
BENCHMARK(BM_reference_curve_construction);

// A table of n rows of consecutive whole-year tenors, 1Y to nY, each a par swap solved in turn:
// the largest tables a sheet can hand over, where the cost per row shows.
void BM_curve_construction_rows(benchmark::State& state) {
    const Date trade = days_from_civil(2026, 1, 20);
    CurveInput pairs;
    for (std::int64_t n = 1; n <= state.range(0); ++n) {
        pairs.emplace_back(std::to_string(n) + "Y", 0.035 + 0.00001 * static_cast<double>(n % 7));
    }
    for (auto _ : state) {
        YieldCurve curve(trade, pairs);
        benchmark::DoNotOptimize(curve);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_curve_construction_rows)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_discount_factor(benchmark::State& state) {
    const YieldCurve curve(days_from_civil(2026, 1, 20), reference_pairs);
    Date d = first_day;
    for (auto _ : state) {
        benchmark::DoNotOptimize(curve.discount_factor(d));
        if (++d == first_day + span) d = first_day;
    }
}
BENCHMARK(BM_discount_factor);

}  // namespace
