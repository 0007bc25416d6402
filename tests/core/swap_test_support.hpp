#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/self_check.hpp"

// Expects f to throw E (or a kind of it) with exactly the given message.
template <class E = std::runtime_error, class F>
void expect_what(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

namespace qvl::testing {

inline Date day(const char* text) {
    return parse_date(text);
}

inline const Date trade_date = parse_date("2026-01-20");

inline const FactorRows reference_rows = {{day("2025-09-01"), 1.0},
                                          {day("2025-10-01"), 0.999986},
                                          {day("2025-11-01"), 0.999955},
                                          {day("2025-12-01"), 0.999712},
                                          {day("2026-01-01"), 0.997583}};

// Messages of the series that several operations pass on.
inline const std::string before_start =
    "QVLSeries validate_tradeDate: tradeDate_in is before swap start date";
inline const std::string no_rate = "QVLSeries interpolate_writedown_factor: eventRate not set";

// The reference series with another maturity, factor rows or coupon.
inline std::shared_ptr<QVLSeries> make_series(const char* maturity,
                                              const FactorRows& rows = reference_rows,
                                              double coupon_percent = 2.0) {
    return std::make_shared<QVLSeries>("1", "1 (Sep 25)", day("2025-09-11"), day(maturity),
                                       coupon_percent, rows);
}

// A swap on that series and the reference curve.
inline std::shared_ptr<QVLSwap> make_swap(std::shared_ptr<const QVLSeries> series,
                                          double rate = 200.0, bool is_buyer = true) {
    return std::make_shared<QVLSwap>(std::move(series), make_reference_swap()->curve, is_buyer,
                                     rate, 10000000.0);
}

// The reference swap on a series of another index and name.
inline std::shared_ptr<QVLSwap> make_named_swap(const std::string& index, const std::string& name,
                                                bool is_buyer = true) {
    auto series = std::make_shared<QVLSeries>(index, name, day("2025-09-11"), day("2030-12-11"),
                                              2.0, reference_rows);
    return make_swap(std::move(series), 200.0, is_buyer);
}

}  // namespace qvl::testing
