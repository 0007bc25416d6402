// The core's own loop over a million credit event rates, 0 to 3,000 bp, on the reference swap
// at 2026-01-20: the yardstick of the Python package's vectorised valuation
// (bench/python_bench.py makes the same rates and values them in one value_many call).

#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "core/date.hpp"
#include "core/self_check.hpp"

namespace {

// numpy.arange(n) * (3000 / (n - 1)), as the Python side makes them.
std::vector<double> event_rates(std::size_t n) {
    std::vector<double> rates(n);
    const double step = 3000.0 / static_cast<double>(n - 1);
    for (std::size_t k = 0; k < n; ++k) rates[k] = static_cast<double>(k) * step;
    return rates;
}

void BM_CoreLoopMillionEventRates(benchmark::State& state) {
    const auto swap = qvl::make_reference_swap();
    const qvl::Date t = qvl::parse_date("2026-01-20");
    const std::vector<double> rates = event_rates(1000000);
    for (auto _ : state) {
        for (const double rate : rates) {
            const qvl::ValuationResult r = swap->calc_from_event_rate(t, rate);
            benchmark::DoNotOptimize(r.upfront_fee);
        }
    }
}
BENCHMARK(BM_CoreLoopMillionEventRates)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
