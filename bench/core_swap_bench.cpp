// Core operations on the reference swap, beside a floor of the arithmetic one valuation cannot
// avoid: an exponential per floating period and a multiply-add per period of both legs.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <stdexcept>

#include "core/cashflow.hpp"
#include "core/date.hpp"
#include "core/self_check.hpp"

namespace {

using qvl::Date;

const Date trade_date = qvl::parse_date("2026-01-20");

void configure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
}

void BM_Floor64Exp128MultiplyAdd(benchmark::State& state) {
    std::array<double, 64> x{};
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = -0.0001 * static_cast<double>(i);
    benchmark::DoNotOptimize(x.data());  // escapes, so the clobber below forces fresh reads
    for (auto _ : state) {
        double sum = 0.0;
        for (double v : x) {
            double e = std::exp(v);
            benchmark::DoNotOptimize(e);
            sum += e * 0.99;
        }
        for (double v : x) sum += v * 1.01;
        benchmark::DoNotOptimize(sum);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Floor64Exp128MultiplyAdd)->Apply(configure);

void BM_CalcFromEventRate(benchmark::State& state) {
    const auto swap = qvl::make_reference_swap();
    for (auto _ : state) {
        benchmark::DoNotOptimize(swap->calc_from_event_rate(trade_date, 200.0));
    }
}
BENCHMARK(BM_CalcFromEventRate)->Apply(configure);

void BM_SolveFromSpread(benchmark::State& state) {
    const auto swap = qvl::make_reference_swap();
    for (auto _ : state) {
        benchmark::DoNotOptimize(swap->solve_from_spread(trade_date, 200.720859));
    }
}
BENCHMARK(BM_SolveFromSpread)->Apply(configure);

// 47 iterations: the quote is out of reach, the search runs to the upper bound and the solve
// fails.
void BM_SolveFromUpfrontUnreachable(benchmark::State& state) {
    const auto swap = qvl::make_reference_swap();
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(swap->solve_from_upfront(trade_date, 90.0));
        } catch (const std::runtime_error&) {
        }
    }
}
BENCHMARK(BM_SolveFromUpfrontUnreachable)->Apply(configure);

void BM_TradePnl(benchmark::State& state) {
    const auto swap = qvl::make_reference_swap();
    const Date start = qvl::parse_date("2025-09-11");
    for (auto _ : state) {
        benchmark::DoNotOptimize(swap->trade_pnl(start, 100.4523, trade_date, 99.5477, 200.0));
    }
}
BENCHMARK(BM_TradePnl)->Apply(configure);

void BM_CashflowRows(benchmark::State& state) {
    const auto swap = qvl::make_reference_swap();
    for (auto _ : state) {
        benchmark::DoNotOptimize(qvl::cashflow_rows(*swap, trade_date, 200.0));
    }
}
BENCHMARK(BM_CashflowRows)->Apply(configure);

}  // namespace
