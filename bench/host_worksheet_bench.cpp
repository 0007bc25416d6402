// The object and calculation worksheet functions against the core calls they wrap. Each comes
// three ways: the core call alone, the add-in's entry called directly with ready cell values
// (the worksheet layer: reading cells, the cache, the lock, filling the result), and a full
// call through the stand-in host (which adds its own argument and result copies).
//
// One stand-in host per process, so this is a program of its own.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/cashflow.hpp"
#include "core/date.hpp"
#include "core/self_check.hpp"
#include "core/yield_curve.hpp"
#include "host/host.hpp"
#include "host/invoke.hpp"
#include "host_fixture.hpp"

namespace {

using standin::Value;

const qvl::CurveInput curve_pairs = {
    {"1M", 0.039765}, {"2M", 0.038988}, {"3M", 0.038419}, {"6M", 0.036977}, {"9M", 0.035929},
    {"1Y", 0.034978}, {"2Y", 0.032768}, {"3Y", 0.032442}, {"4Y", 0.032632}, {"5Y", 0.033017},
    {"6Y", 0.033524}, {"7Y", 0.03407},  {"8Y", 0.034626}, {"9Y", 0.035181}, {"10Y", 0.035712}};
const qvl::Date jan_20 = qvl::parse_date("2026-01-20");
constexpr double jan_20_serial = 46042;

// The reference ranges as a sheet holds them, header rows included.
Value curve_range() {
    std::vector<Value> cells = {"Tenor", "ParRate"};
    for (const auto& [tenor, rate] : curve_pairs) {
        cells.emplace_back(tenor);
        cells.emplace_back(rate);
    }
    return Value::grid(static_cast<int>(curve_pairs.size()) + 1, 2, std::move(cells));
}

Value series_range() {
    return Value::grid(2, 5,
                       {"SeriesIndex", "SeriesName", "StartDate", "MaturityDate", "Coupon", 1,
                        "1 (Sep 25)", "2025-09-11", "2030-12-11", 2});
}

Value factor_range() {
    return Value::grid(6, 2,
                       {"Date", 1, "2025-09-01", 1, "2025-10-01", 0.999986, "2025-11-01", 0.999955,
                        "2025-12-01", 0.999712, "2026-01-01", 0.997583});
}

// Empties the cache and builds #YC_1, #Series_2 and #Swap_3 again.
void reference_objects(standin::Host& host) {
    host.call("QVL.ClearCache");
    const Value curve = host.call("QVL.CreateCurve", {jan_20_serial, curve_range()});
    const Value series = host.call("QVL.CreateSeries", {1, series_range(), factor_range()});
    const Value swap = host.call("QVL.CreateSwap", {series, curve});
    if (swap != Value("#Swap_3")) {
        std::fprintf(stderr, "reference swap not built: %s\n", swap.describe().c_str());
        std::abort();
    }
}

// Cell values built the way a host passes them, for calling an entry directly.
class Cells {
  public:
    XLOPER12* number(double d) {
        XLOPER12& x = slot();
        x.xltype = xltypeNum;
        x.val.num = d;
        return &x;
    }
    XLOPER12* missing() {
        XLOPER12& x = slot();
        x.xltype = xltypeMissing;
        return &x;
    }
    XLOPER12* text(const std::string& ascii) {
        XLOPER12& x = slot();
        auto& s = strings_.emplace_back(ascii.size() + 1);
        s[0] = static_cast<XCHAR>(ascii.size());
        for (std::size_t i = 0; i < ascii.size(); ++i) s[i + 1] = static_cast<XCHAR>(ascii[i]);
        x.xltype = xltypeStr;
        x.val.str = s.data();
        return &x;
    }
    XLOPER12* curve_grid() {
        auto& cells = grids_.emplace_back((curve_pairs.size() + 1) * 2);
        const auto put_text = [&](XLOPER12& x, const std::string& t) { x = *text(t); };
        put_text(cells[0], "Tenor");
        put_text(cells[1], "ParRate");
        for (std::size_t i = 0; i < curve_pairs.size(); ++i) {
            put_text(cells[2 * i + 2], curve_pairs[i].first);
            cells[2 * i + 3].xltype = xltypeNum;
            cells[2 * i + 3].val.num = curve_pairs[i].second;
        }
        XLOPER12& x = slot();
        x.xltype = xltypeMulti;
        x.val.array.lparray = cells.data();
        x.val.array.rows = static_cast<int>(curve_pairs.size()) + 1;
        x.val.array.columns = 2;
        return &x;
    }

  private:
    XLOPER12& slot() { return *slots_.emplace_back(std::make_unique<XLOPER12>()); }
    std::vector<std::unique_ptr<XLOPER12>> slots_;
    std::vector<std::vector<XCHAR>> strings_;
    std::vector<std::vector<XLOPER12>> grids_;
};

// An entry as the host reaches it once its registration is known: looking the name up is the
// host's work, not the add-in's, so it stays out of the timed loops.
class Entry {
  public:
    Entry(standin::Host& host, const char* function) : reg_(host.find(function)) {
        if (reg_ == nullptr) {
            std::fprintf(stderr, "%s is not registered\n", function);
            std::abort();
        }
    }
    XLOPER12* operator()(const standin::Slot* slots) const {
        return standin::invoke_xloper(reg_->entry, reg_->argument_codes.c_str(), slots);
    }

  private:
    const standin::Registration* reg_;
};

// Creating calls fill the cache; it is emptied (untimed) every this many iterations.
constexpr std::int64_t refill_every = 1024;

// --- QVL.CreateCurve -------------------------------------------------------------------------

// Like the cache, the core loops keep what they make and release it untimed.
template <class Make>
void keep_and_release(benchmark::State& state, Make make) {
    std::vector<decltype(make())> kept;
    kept.reserve(refill_every);
    for (auto _ : state) {
        kept.push_back(make());
        if (static_cast<std::int64_t>(kept.size()) == refill_every) {
            state.PauseTiming();
            kept.clear();
            state.ResumeTiming();
        }
    }
}

void BM_CoreCreateCurve(benchmark::State& state) {
    keep_and_release(state,
                     [] { return std::make_shared<const qvl::YieldCurve>(jan_20, curve_pairs); });
}
BENCHMARK(BM_CoreCreateCurve);

void BM_EntryCreateCurve(benchmark::State& state) {
    standin::Host& host = loaded_host();
    host.call("QVL.ClearCache");
    Cells cells;
    const standin::Slot slots[] = {{cells.number(jan_20_serial)}, {cells.curve_grid()}};
    const Entry entry(host, "QVL.CreateCurve");
    std::int64_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(entry(slots));
        if (++n % refill_every == 0) {
            state.PauseTiming();
            host.call("QVL.ClearCache");
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_EntryCreateCurve);

void BM_SheetCreateCurve(benchmark::State& state) {
    standin::Host& host = loaded_host();
    host.call("QVL.ClearCache");
    const Value args[] = {jan_20_serial, curve_range()};
    std::int64_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.call("QVL.CreateCurve", args));
        if (++n % refill_every == 0) {
            state.PauseTiming();
            host.call("QVL.ClearCache");
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_SheetCreateCurve);

// --- QVL.CreateSwap --------------------------------------------------------------------------

void BM_CoreCreateSwap(benchmark::State& state) {
    const auto reference = qvl::make_reference_swap();
    keep_and_release(state, [&] {
        return std::make_shared<qvl::QVLSwap>(reference->series, reference->curve, true, 200.0,
                                              10000000.0);
    });
}
BENCHMARK(BM_CoreCreateSwap);

void BM_EntryCreateSwap(benchmark::State& state) {
    standin::Host& host = loaded_host();
    reference_objects(host);
    Cells cells;
    const standin::Slot slots[] = {{cells.text("#Series_2")},
                                   {cells.text("#YC_1")},
                                   {cells.missing()},
                                   {cells.missing()},
                                   {cells.missing()}};
    const Entry entry(host, "QVL.CreateSwap");
    std::int64_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(entry(slots));
        if (++n % refill_every == 0) {
            state.PauseTiming();
            reference_objects(host);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_EntryCreateSwap);

void BM_SheetCreateSwap(benchmark::State& state) {
    standin::Host& host = loaded_host();
    reference_objects(host);
    const Value args[] = {"#Series_2", "#YC_1"};
    std::int64_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.call("QVL.CreateSwap", args));
        if (++n % refill_every == 0) {
            state.PauseTiming();
            reference_objects(host);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_SheetCreateSwap);

// The same calls from a cell: the entry asks the host for its caller and the sheet's name, and
// each call replaces (and releases) the swap the cell made before. The difference to
// BM_EntryCreateSwap is the cost a cell adds to a creating call.
void BM_EntryCreateSwapFromCell(benchmark::State& state) {
    standin::Host& host = loaded_host();
    reference_objects(host);
    Cells cells;
    const standin::Slot slots[] = {{cells.text("#Series_2")},
                                   {cells.text("#YC_1")},
                                   {cells.missing()},
                                   {cells.missing()},
                                   {cells.missing()}};
    const Entry entry(host, "QVL.CreateSwap");
    host.set_caller(standin::Cell{.row = 4, .column = 2});
    for (auto _ : state) {
        benchmark::DoNotOptimize(entry(slots));
    }
    host.set_caller(std::nullopt);
}
BENCHMARK(BM_EntryCreateSwapFromCell);

void BM_EntryCreateCurveFromCell(benchmark::State& state) {
    standin::Host& host = loaded_host();
    host.call("QVL.ClearCache");
    Cells cells;
    const standin::Slot slots[] = {{cells.number(jan_20_serial)}, {cells.curve_grid()}};
    const Entry entry(host, "QVL.CreateCurve");
    host.set_caller(standin::Cell{.row = 4, .column = 2});
    for (auto _ : state) {
        benchmark::DoNotOptimize(entry(slots));
    }
    host.set_caller(std::nullopt);
}
BENCHMARK(BM_EntryCreateCurveFromCell);

// --- QVL.CalcFromEventRate -------------------------------------------------------------------

void BM_CoreCalcFromEventRate(benchmark::State& state) {
    const auto swap = qvl::make_reference_swap();
    for (auto _ : state) {
        benchmark::DoNotOptimize(swap->calc_from_event_rate(jan_20, 200.0));
    }
}
BENCHMARK(BM_CoreCalcFromEventRate);

void BM_EntryCalcFromEventRate(benchmark::State& state) {
    standin::Host& host = loaded_host();
    reference_objects(host);
    Cells cells;
    standin::Slot slots[] = {{cells.text("#Swap_3")}, {cells.number(jan_20_serial)}, {}};
    slots[2].d = 200.0;
    const Entry entry(host, "QVL.CalcFromEventRate");
    for (auto _ : state) {
        benchmark::DoNotOptimize(entry(slots));
    }
}
BENCHMARK(BM_EntryCalcFromEventRate);

void BM_SheetCalcFromEventRate(benchmark::State& state) {
    standin::Host& host = loaded_host();
    reference_objects(host);
    const Value args[] = {"#Swap_3", jan_20_serial, 200};
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.call("QVL.CalcFromEventRate", args));
    }
}
BENCHMARK(BM_SheetCalcFromEventRate);

// --- QVL.CashflowTable -----------------------------------------------------------------------

void BM_CoreCashflowTable(benchmark::State& state) {
    const auto swap = qvl::make_reference_swap();
    for (auto _ : state) {
        benchmark::DoNotOptimize(qvl::cashflow_rows(*swap, jan_20, 200.0));
    }
}
BENCHMARK(BM_CoreCashflowTable);

void BM_EntryCashflowTable(benchmark::State& state) {
    standin::Host& host = loaded_host();
    reference_objects(host);
    Cells cells;
    const standin::Slot slots[] = {
        {cells.text("#Swap_3")}, {cells.number(jan_20_serial)}, {cells.number(200)}};
    const Entry entry(host, "QVL.CashflowTable");
    for (auto _ : state) {
        benchmark::DoNotOptimize(entry(slots));
    }
}
BENCHMARK(BM_EntryCashflowTable);

void BM_SheetCashflowTable(benchmark::State& state) {
    standin::Host& host = loaded_host();
    reference_objects(host);
    const Value args[] = {"#Swap_3", jan_20_serial, 200};
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.call("QVL.CashflowTable", args));
    }
}
BENCHMARK(BM_SheetCashflowTable);

// --- QVL.SolveFromSpread, QVL.TotalPayment and QVL.TradePnL -----------------------------------

void BM_SheetSolveFromSpread(benchmark::State& state) {
    standin::Host& host = loaded_host();
    reference_objects(host);
    const Value args[] = {"#Swap_3", jan_20_serial, 200.720859};
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.call("QVL.SolveFromSpread", args));
    }
}
BENCHMARK(BM_SheetSolveFromSpread);

// At the rate the swap holds, after a valuation at another trade date: the payment reads the
// periods that valuation projected.
void BM_SheetTotalPaymentHeldRate(benchmark::State& state) {
    standin::Host& host = loaded_host();
    reference_objects(host);
    host.call("QVL.CalcFromEventRate", {"#Swap_3", jan_20_serial - 30, 200});
    const Value args[] = {"#Swap_3", jan_20_serial, 99.5477, 1, 0};
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.call("QVL.TotalPayment", args));
    }
}
BENCHMARK(BM_SheetTotalPaymentHeldRate);

void BM_SheetTradePnL(benchmark::State& state) {
    standin::Host& host = loaded_host();
    reference_objects(host);
    const Value args[] = {"#Swap_3", "2025-09-11", 100.4523, jan_20_serial, 99.5477, 200};
    for (auto _ : state) {
        benchmark::DoNotOptimize(host.call("QVL.TradePnL", args));
    }
}
BENCHMARK(BM_SheetTradePnL);

// --- Memory ----------------------------------------------------------------------------------

// Heap held per cached swap (on a shared series and curve), and per curve + series + swap set;
// QVL.ClearCache must give all of it back.
void BM_MemoryPerCachedSwap(benchmark::State& state) {
    standin::Host& host = loaded_host();
    constexpr int count = 1000;
    double per_swap = 0;
    double per_set = 0;
    double left_after_clear = 0;
    for (auto _ : state) {
        reference_objects(host);
        const auto start = static_cast<double>(mallinfo2().uordblks);
        for (int i = 0; i < count; ++i) host.call("QVL.CreateSwap", {"#Series_2", "#YC_1"});
        per_swap = (static_cast<double>(mallinfo2().uordblks) - start) / count;

        reference_objects(host);
        const auto start_sets = static_cast<double>(mallinfo2().uordblks);
        for (int i = 0; i < count; ++i) {
            const Value c = host.call("QVL.CreateCurve", {jan_20_serial, curve_range()});
            const Value s = host.call("QVL.CreateSeries", {1, series_range(), factor_range()});
            host.call("QVL.CreateSwap", {s, c});
        }
        per_set = (static_cast<double>(mallinfo2().uordblks) - start_sets) / count;
        reference_objects(host);
        left_after_clear = static_cast<double>(mallinfo2().uordblks) - start_sets;
    }
    state.counters["bytes_per_swap"] = per_swap;
    state.counters["bytes_per_curve_series_swap"] = per_set;
    state.counters["bytes_left_after_clear"] = left_after_clear;
}
BENCHMARK(BM_MemoryPerCachedSwap)->Iterations(1)->Unit(benchmark::kMillisecond);

// Resident set size of the process, from /proc/self/statm.
double resident_bytes() {
    long pages = 0;
    long resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// A workbook of a curve, a series and two swaps in cells, recalculated 10,000 times: heap in
// use and resident size after 100 and after 10,000 recalculations. The cells replace their
// objects, so both stay where they were.
void BM_MemoryRecalculatedWorkbook(benchmark::State& state) {
    standin::Host& host = loaded_host();
    const standin::Cell curve_cell{.row = 0}, series_cell{.row = 1};
    const standin::Cell buyer_cell{.column = 1}, seller_cell{.row = 1, .column = 1};
    const Value curve_data = curve_range();
    const Value series_data = series_range();
    const Value factor_data = factor_range();
    const auto recalculate = [&] {
        const Value c = host.call_from(curve_cell, "QVL.CreateCurve", {jan_20_serial, curve_data});
        const Value s =
            host.call_from(series_cell, "QVL.CreateSeries", {1, series_data, factor_data});
        host.call_from(buyer_cell, "QVL.CreateSwap", {s, c, Value::boolean(true)});
        return host.call_from(seller_cell, "QVL.CreateSwap", {s, c, Value::boolean(false)});
    };
    for (auto _ : state) {
        host.call("QVL.ClearCache");
        for (int i = 0; i < 100; ++i) recalculate();
        state.counters["heap_at_100"] = static_cast<double>(mallinfo2().uordblks);
        state.counters["rss_at_100"] = resident_bytes();
        Value last;
        for (int i = 100; i < 10000; ++i) last = recalculate();
        state.counters["heap_at_10000"] = static_cast<double>(mallinfo2().uordblks);
        state.counters["rss_at_10000"] = resident_bytes();
        if (last != Value("#Swap_40000") || host.call("QVL.GetSwapInfo", {"#Swap_39996"}) !=
                                                Value("Swap handle not found: #Swap_39996")) {
            std::fprintf(stderr, "recalculation kept stale objects: %s\n", last.describe().c_str());
            std::abort();
        }
    }
    host.call("QVL.ClearCache");
}
BENCHMARK(BM_MemoryRecalculatedWorkbook)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
