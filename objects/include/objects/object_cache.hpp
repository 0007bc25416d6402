#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/qvl_series.hpp"
#include "core/yield_curve.hpp"
#include "objects/held_swap.hpp"

namespace qvl::objects {

// The calculation lock, held for one operation that reads and then updates what swap handles
// remember (a worksheet function, a service request): no other such operation runs meanwhile.
// The only way to the memory of a handle.
class Calculation {
  public:
    // False when the deadline it was asked with passed first; it then holds nothing.
    bool owns_lock() const { return lock_.owns_lock(); }
    // The swap of handle with what it remembers, while this calculation is held.
    HeldSwap hold(std::shared_ptr<const SwapHandle> handle) const {
        SwapMemory& memory = handle->memory_;
        return HeldSwap(std::move(handle), memory);
    }

  private:
    friend class ObjectCache;
    explicit Calculation(std::unique_lock<std::timed_mutex> lock) : lock_(std::move(lock)) {}
    std::unique_lock<std::timed_mutex> lock_;
};

// A store of curves, series and swaps, keyed by handle texts such as "#YC_1". The worksheet
// functions and the HTTP service share one; it guards its maps itself, so any thread may call
// it, and hands out the objects as shared pointers to const: curves, series and swaps never
// change once built, and a caller keeps what it holds alive (a swap also its series and curve)
// after the cache has dropped it. What a swap handle remembers is reached only under a
// Calculation.
// Ownership by cells: a creating call from a worksheet cell names the cell (its "caller" text)
// when it adds the object; the cell's next creating call drops the earlier object, so a sheet
// recalculated all day keeps one object per cell instead of one per recalculation.
class ObjectCache {
  public:
    struct CountsResult {
        std::size_t curves;
        std::size_t series;
        std::size_t swaps;
    };

    ObjectCache() = default;
    ObjectCache(const ObjectCache&) = delete;
    ObjectCache& operator=(const ObjectCache&) = delete;

    // Waits for the calculation lock; the second form gives up at the deadline.
    [[nodiscard]] Calculation calculation();
    [[nodiscard]] Calculation calculation(std::chrono::steady_clock::time_point deadline);

    // Stores object under a new handle, "#" + the kind's prefix (YC, Series, Swap) + "_" + the
    // next value of a counter the kinds share, and gives the handle. The object caller made
    // before (if any) leaves the cache.
    template <class T>
    std::string add(std::shared_ptr<const T> object,
                    const std::optional<std::string>& caller = std::nullopt);
    // The object under handle, or null; the second form throws TextError "<Kind> handle not
    // found: " followed by the handle as given (Kind: Curve, Series, Swap).
    template <class T>
    std::shared_ptr<const T> find(const std::string& handle) const;
    template <class T>
    std::shared_ptr<const T> require(const std::string& handle) const;

    // First swap, in handle order, whose series index equals index byte for byte.
    std::shared_ptr<const SwapHandle> find_swap_by_index(const std::string& index) const;
    std::shared_ptr<const SwapHandle> first_swap() const;
    std::vector<std::pair<std::string, std::shared_ptr<const QVLSeries>>> list_series() const;

    // The object caller made before (if any) leaves the cache and caller is forgotten: the
    // caller's new creating call failed.
    void drop_owned(const std::string& caller);
    std::size_t owner_count() const;

    // Drops every object, forgets the callers and restarts the handle counter.
    void clear();
    CountsResult counts() const;

  private:
    template <class T>
    using Store = std::map<std::string, std::shared_ptr<const T>>;

    template <class T>
    Store<T>& store() {
        return std::get<Store<T>>(stores_);
    }
    template <class T>
    const Store<T>& store() const {
        return std::get<Store<T>>(stores_);
    }
    void drop(const std::string& handle);

    std::timed_mutex calculation_mutex_;
    // Guards everything below; held only for a lookup or an update, never for a calculation.
    mutable std::mutex mutex_;
    std::int32_t counter_ = 0;
    std::tuple<Store<YieldCurve>, Store<QVLSeries>, Store<SwapHandle>> stores_;
    // Caller text -> the handle that caller made last.
    std::unordered_map<std::string, std::string> owners_;
};

}  // namespace qvl::objects
