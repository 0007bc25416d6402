#include "objects/object_cache.hpp"

#include <string_view>

#include "text/text_error.hpp"

namespace qvl::objects {

namespace {

// Each kind's handle prefix and the name its "not found" message gives it.
template <class T>
struct Kind;
template <>
struct Kind<YieldCurve> {
    static constexpr std::string_view prefix = "YC";
    static constexpr std::string_view name = "Curve";
};
template <>
struct Kind<QVLSeries> {
    static constexpr std::string_view prefix = "Series";
    static constexpr std::string_view name = "Series";
};
template <>
struct Kind<SwapHandle> {
    static constexpr std::string_view prefix = "Swap";
    static constexpr std::string_view name = "Swap";
};

}  // namespace

Calculation ObjectCache::calculation() {
    return Calculation(std::unique_lock<std::timed_mutex>(calculation_mutex_));
}

Calculation ObjectCache::calculation(std::chrono::steady_clock::time_point deadline) {
    if (deadline == std::chrono::steady_clock::time_point::max()) return calculation();
    // Timed on the system clock: ThreadSanitizer follows that timed lock, not the steady one.
    const auto left = std::chrono::duration_cast<std::chrono::system_clock::duration>(
        deadline - std::chrono::steady_clock::now());
    return Calculation(std::unique_lock<std::timed_mutex>(calculation_mutex_,
                                                          std::chrono::system_clock::now() + left));
}

template <class T>
std::string ObjectCache::add(std::shared_ptr<const T> object,
                             const std::optional<std::string>& caller) {
    std::lock_guard<std::mutex> guard(mutex_);
    // Wraps like a 32-bit counter instead of overflowing a signed addition.
    counter_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter_) + 1u);
    std::string handle = "#";
    handle += Kind<T>::prefix;
    handle += '_';
    handle += std::to_string(counter_);
    store<T>().insert_or_assign(handle, std::move(object));
    if (caller) {
        auto [it, inserted] = owners_.try_emplace(*caller, handle);
        if (!inserted) {
            drop(it->second);
            it->second = handle;
        }
    }
    return handle;
}

template <class T>
std::shared_ptr<const T> ObjectCache::find(const std::string& handle) const {
    std::lock_guard<std::mutex> guard(mutex_);
    const Store<T>& map = store<T>();
    const auto it = map.find(handle);
    return it == map.end() ? nullptr : it->second;
}

template <class T>
std::shared_ptr<const T> ObjectCache::require(const std::string& handle) const {
    if (auto found = find<T>(handle)) return found;
    throw text::TextError(std::string(Kind<T>::name) + " handle not found: " + handle);
}

#define QVL_CACHE_KIND(T)                                                             \
    template std::string ObjectCache::add<T>(std::shared_ptr<const T>,                \
                                             const std::optional<std::string>&);      \
    template std::shared_ptr<const T> ObjectCache::find<T>(const std::string&) const; \
    template std::shared_ptr<const T> ObjectCache::require<T>(const std::string&) const;
QVL_CACHE_KIND(YieldCurve)
QVL_CACHE_KIND(QVLSeries)
QVL_CACHE_KIND(SwapHandle)
#undef QVL_CACHE_KIND

std::shared_ptr<const SwapHandle> ObjectCache::find_swap_by_index(const std::string& index) const {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const auto& [handle, swap] : store<SwapHandle>()) {
        if (swap->swap->series->index == index) return swap;
    }
    return nullptr;
}

std::shared_ptr<const SwapHandle> ObjectCache::first_swap() const {
    std::lock_guard<std::mutex> guard(mutex_);
    const Store<SwapHandle>& swaps = store<SwapHandle>();
    return swaps.empty() ? nullptr : swaps.begin()->second;
}

std::vector<std::pair<std::string, std::shared_ptr<const QVLSeries>>> ObjectCache::list_series()
    const {
    std::lock_guard<std::mutex> guard(mutex_);
    const Store<QVLSeries>& series = store<QVLSeries>();
    return {series.begin(), series.end()};
}

void ObjectCache::drop_owned(const std::string& caller) {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto it = owners_.find(caller);
    if (it == owners_.end()) return;
    drop(it->second);
    owners_.erase(it);
}

std::size_t ObjectCache::owner_count() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return owners_.size();
}

void ObjectCache::drop(const std::string& handle) {
    // Handles are unique across the kinds, so at most one of these erases anything.
    store<SwapHandle>().erase(handle);
    store<QVLSeries>().erase(handle);
    store<YieldCurve>().erase(handle);
}

void ObjectCache::clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    // Swaps first: they hold their series and curves.
    store<SwapHandle>().clear();
    store<QVLSeries>().clear();
    store<YieldCurve>().clear();
    owners_.clear();
    counter_ = 0;
}

ObjectCache::CountsResult ObjectCache::counts() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return {store<YieldCurve>().size(), store<QVLSeries>().size(), store<SwapHandle>().size()};
}

}  // namespace qvl::objects
