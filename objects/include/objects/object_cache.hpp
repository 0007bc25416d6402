#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/yield_curve.hpp"

namespace qvl::objects {

// The process-wide store of curves, series and swaps, keyed by handle texts such as "#YC_1".
//
// Threads: worksheet functions run on the host's calculation thread, HTTP requests on the
// service's serving thread, and both read the maps and value cached swaps. Curves and series
// never change once built; what changes is the maps and the rate and trade date each swap
// remembers of its latest valuation. One calculation lock guards both: a worksheet function
// holds calculation_lock() while it reaches the maps, and for the whole operation when it values
// a swap or shows what the swap remembers (the operation reads and writes those fields from
// start to end); every request handler holds it for its whole run. The maps themselves take no
// lock of their own.
// The counts are kept in atomics so that the health document can read them without waiting,
// and a request that must start by a deadline waits for the lock only until then.
// A swap shares ownership of its series and curve, so ClearAll never releases what a swap in
// use can still reach.
// Ownership by cells: a creating call from a worksheet cell records the cell (its "caller" text)
// against the handle it made. The next creating call from that cell drops the earlier object
// from the maps, so a sheet recalculated all day keeps one object per cell instead of one per
// recalculation; a swap that holds a dropped series or curve keeps it alive for itself.
class ObjectCache {
  public:
    struct CountsResult {
        std::size_t curves;
        std::size_t series;
        std::size_t swaps;
    };

    static ObjectCache& instance();

    // The calculation lock described above; the second form gives up at the deadline, and the
    // lock it returns then holds nothing.
    [[nodiscard]] std::unique_lock<std::timed_mutex> calculation_lock();
    [[nodiscard]] std::unique_lock<std::timed_mutex> calculation_lock(
        std::chrono::steady_clock::time_point deadline);

    // "#" + prefix + "_" + the next value of the shared counter.
    std::string MakeHandle(std::string_view prefix);

    void StoreCurve(const std::string& handle, std::shared_ptr<const YieldCurve> curve);
    void StoreSeries(const std::string& handle, std::shared_ptr<const QVLSeries> series);
    void StoreSwap(const std::string& handle, std::shared_ptr<QVLSwap> swap);

    std::shared_ptr<const YieldCurve> FindCurve(const std::string& handle) const;
    std::shared_ptr<const QVLSeries> FindSeries(const std::string& handle) const;
    std::shared_ptr<QVLSwap> FindSwap(const std::string& handle) const;

    // The same lookups for callers that need the object: a miss throws TextError
    // "<Kind> handle not found: " followed by the handle as given.
    std::shared_ptr<const YieldCurve> require_curve(const std::string& handle) const;
    std::shared_ptr<const QVLSeries> require_series(const std::string& handle) const;
    std::shared_ptr<QVLSwap> require_swap(const std::string& handle) const;

    // First swap, in handle order, whose series index equals index byte for byte.
    std::shared_ptr<QVLSwap> FindSwapByIndex(const std::string& index) const;
    std::shared_ptr<QVLSwap> FirstSwap() const;
    std::vector<std::pair<std::string, std::shared_ptr<const QVLSeries>>> ListSeries() const;

    // Records that caller made handle. The object caller made before (if any) leaves the maps.
    void set_owner(const std::string& caller, const std::string& handle);
    // The object caller made before (if any) leaves the maps and caller is forgotten: the
    // caller's new creating call failed.
    void drop_owned(const std::string& caller);
    std::size_t owner_count() const { return owners_.size(); }

    // Drops swaps, then series, then curves, forgets the callers and restarts the handle counter.
    void ClearAll();
    CountsResult Counts() const;

  private:
    void update_counts();
    void drop(const std::string& handle);

    std::timed_mutex calculation_mutex_;
    std::atomic<std::int32_t> counter_{0};
    std::map<std::string, std::shared_ptr<const YieldCurve>> curves_;
    std::map<std::string, std::shared_ptr<const QVLSeries>> series_;
    std::map<std::string, std::shared_ptr<QVLSwap>> swaps_;
    // Caller text -> the handle that caller made last.
    std::unordered_map<std::string, std::string> owners_;
    std::atomic<std::size_t> curve_count_{0};
    std::atomic<std::size_t> series_count_{0};
    std::atomic<std::size_t> swap_count_{0};
};

}  // namespace qvl::objects
