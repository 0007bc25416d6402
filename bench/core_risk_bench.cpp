// The risk of the reference swap. Its cost is measured against what it is made of, in the same
// run: BM_reference_curve_construction (the bumped curve), BM_SolveFromSpread (the spread
// bump) and BM_CalcFromEventRate (a valuation); the target is a risk of at most three times
// a curve, a solve and two valuations.

#include <benchmark/benchmark.h>

#include "core/date.hpp"
#include "core/risk.hpp"
#include "core/self_check.hpp"

namespace {

void BM_Risk(benchmark::State& state) {
    const auto swap = qvl::make_reference_swap();
    const qvl::Date trade_date = qvl::parse_date("2026-01-20");
    for (auto _ : state) benchmark::DoNotOptimize(qvl::risk(*swap, trade_date, 200.0));
}
BENCHMARK(BM_Risk)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
