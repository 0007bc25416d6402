// The cost of one worksheet call through the stand-in host (argument conversion, dispatch into
// qvl.xll, result copy) next to the core call it wraps.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "core/calendar.hpp"
#include "core/date.hpp"
#include "host/host.hpp"
#include "host_fixture.hpp"

namespace {

const qvl::Date jan_21 = qvl::parse_date("2026-01-21");

void BM_CoreIsBusinessDay(benchmark::State& state) {
    qvl::Date d = jan_21;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        benchmark::DoNotOptimize(qvl::is_business_day(d));
    }
}
BENCHMARK(BM_CoreIsBusinessDay);

void BM_SheetIsBusinessDay(benchmark::State& state) {
    standin::Host& host = loaded_host();
    const standin::Value args[] = {46043};
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.call("QVL.IsBusinessDay", args));
    }
}
BENCHMARK(BM_SheetIsBusinessDay);

void BM_CoreDateFromTenor(benchmark::State& state) {
    qvl::Date d = jan_21;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d);
        benchmark::DoNotOptimize(qvl::date_from_tenor(d, "1Y"));
    }
}
BENCHMARK(BM_CoreDateFromTenor);

void BM_SheetDateFromTenor(benchmark::State& state) {
    standin::Host& host = loaded_host();
    const standin::Value args[] = {46043, "1Y"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.call("QVL.DateFromTenor", args));
    }
}
BENCHMARK(BM_SheetDateFromTenor);

// The same date given as a text, read with parse_date inside the add-in.
void BM_SheetDateFromTenorText(benchmark::State& state) {
    standin::Host& host = loaded_host();
    const standin::Value args[] = {"2026-01-21", "1Y"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.call("QVL.DateFromTenor", args));
    }
}
BENCHMARK(BM_SheetDateFromTenorText);

}  // namespace
