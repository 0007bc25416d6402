#include "objects/object_cache.hpp"

#include "text/text_error.hpp"

namespace qvl::objects {

namespace {

using text::TextError;

template <class Map>
typename Map::mapped_type find_in(const Map& map, const std::string& handle) {
    const auto it = map.find(handle);
    return it == map.end() ? nullptr : it->second;
}

}  // namespace

ObjectCache& ObjectCache::instance() {
    static ObjectCache cache;
    return cache;
}

std::unique_lock<std::timed_mutex> ObjectCache::calculation_lock() {
    return std::unique_lock<std::timed_mutex>(calculation_mutex_);
}

std::unique_lock<std::timed_mutex> ObjectCache::calculation_lock(
    std::chrono::steady_clock::time_point deadline) {
    if (deadline == std::chrono::steady_clock::time_point::max()) return calculation_lock();
    // Timed on the system clock: ThreadSanitizer follows that timed lock, not the steady one.
    const auto left = std::chrono::duration_cast<std::chrono::system_clock::duration>(
        deadline - std::chrono::steady_clock::now());
    return std::unique_lock<std::timed_mutex>(calculation_mutex_,
                                              std::chrono::system_clock::now() + left);
}

std::string ObjectCache::MakeHandle(std::string_view prefix) {
    // Wraps like the counter itself instead of overflowing a signed addition.
    const auto n =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(counter_.fetch_add(1)) + 1u);
    std::string handle = "#";
    handle.append(prefix);
    handle += '_';
    handle += std::to_string(n);
    return handle;
}

void ObjectCache::StoreCurve(const std::string& handle, std::shared_ptr<const YieldCurve> curve) {
    curves_.insert_or_assign(handle, std::move(curve));
    update_counts();
}

void ObjectCache::StoreSeries(const std::string& handle, std::shared_ptr<const QVLSeries> series) {
    series_.insert_or_assign(handle, std::move(series));
    update_counts();
}

void ObjectCache::StoreSwap(const std::string& handle, std::shared_ptr<QVLSwap> swap) {
    swaps_.insert_or_assign(handle, std::move(swap));
    update_counts();
}

std::shared_ptr<const YieldCurve> ObjectCache::FindCurve(const std::string& handle) const {
    return find_in(curves_, handle);
}

std::shared_ptr<const QVLSeries> ObjectCache::FindSeries(const std::string& handle) const {
    return find_in(series_, handle);
}

std::shared_ptr<QVLSwap> ObjectCache::FindSwap(const std::string& handle) const {
    return find_in(swaps_, handle);
}

std::shared_ptr<const YieldCurve> ObjectCache::require_curve(const std::string& handle) const {
    if (auto found = FindCurve(handle)) return found;
    throw TextError("Curve handle not found: " + handle);
}

std::shared_ptr<const QVLSeries> ObjectCache::require_series(const std::string& handle) const {
    if (auto found = FindSeries(handle)) return found;
    throw TextError("Series handle not found: " + handle);
}

std::shared_ptr<QVLSwap> ObjectCache::require_swap(const std::string& handle) const {
    if (auto found = FindSwap(handle)) return found;
    throw TextError("Swap handle not found: " + handle);
}

std::shared_ptr<QVLSwap> ObjectCache::FindSwapByIndex(const std::string& index) const {
    for (const auto& [handle, swap] : swaps_) {
        if (swap->series->index == index) return swap;
    }
    return nullptr;
}

std::shared_ptr<QVLSwap> ObjectCache::FirstSwap() const {
    return swaps_.empty() ? nullptr : swaps_.begin()->second;
}

std::vector<std::pair<std::string, std::shared_ptr<const QVLSeries>>> ObjectCache::ListSeries()
    const {
    return {series_.begin(), series_.end()};
}

void ObjectCache::set_owner(const std::string& caller, const std::string& handle) {
    auto [it, inserted] = owners_.try_emplace(caller, handle);
    if (!inserted) {
        drop(it->second);
        it->second = handle;
    }
}

void ObjectCache::drop_owned(const std::string& caller) {
    const auto it = owners_.find(caller);
    if (it == owners_.end()) return;
    drop(it->second);
    owners_.erase(it);
}

void ObjectCache::drop(const std::string& handle) {
    // Handles are unique across the three maps, so at most one of these erases anything.
    swaps_.erase(handle);
    series_.erase(handle);
    curves_.erase(handle);
    update_counts();
}

void ObjectCache::ClearAll() {
    swaps_.clear();
    series_.clear();
    curves_.clear();
    owners_.clear();
    counter_ = 0;
    update_counts();
}

ObjectCache::CountsResult ObjectCache::Counts() const {
    return {curve_count_.load(), series_count_.load(), swap_count_.load()};
}

void ObjectCache::update_counts() {
    curve_count_ = curves_.size();
    series_count_ = series_.size();
    swap_count_ = swaps_.size();
}

}  // namespace qvl::objects
