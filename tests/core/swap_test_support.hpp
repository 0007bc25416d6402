#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/self_check.hpp"

namespace qvl::testing {

inline Date day(const char* text) {
    return parse_date(text);
}

inline const Date trade_date = parse_date("2026-01-20");

inline const FactorRows reference_rows = {{parse_date("2025-09-01"), 1.0},
                                          {parse_date("2025-10-01"), 0.999986},
                                          {parse_date("2025-11-01"), 0.999955},
                                          {parse_date("2025-12-01"), 0.999712},
                                          {parse_date("2026-01-01"), 0.997583}};

// The reference series with another maturity or other factor rows.
inline std::shared_ptr<QVLSeries> make_series(const char* maturity,
                                              const FactorRows& rows = reference_rows,
                                              double coupon_percent = 2.0) {
    return std::make_shared<QVLSeries>("1", "1 (Sep 25)", day("2025-09-11"), day(maturity),
                                       coupon_percent, rows);
}

// A swap on that series and the reference curve.
inline std::shared_ptr<QVLSwap> make_swap(std::shared_ptr<const QVLSeries> series,
                                          double rate = 200.0) {
    return std::make_shared<QVLSwap>(std::move(series), make_reference_swap()->curve, true, rate,
                                     10000000.0);
}

// The reference swap on a series of another index and name.
inline std::shared_ptr<QVLSwap> make_named_swap(const std::string& index, const std::string& name,
                                                bool is_buyer = true) {
    auto series = std::make_shared<QVLSeries>(index, name, day("2025-09-11"), day("2030-12-11"),
                                              2.0, reference_rows);
    return std::make_shared<QVLSwap>(std::move(series), make_reference_swap()->curve, is_buyer,
                                     200.0, 10000000.0);
}

template <class F>
void expect_runtime_error(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no error, expected: " << message;
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

}  // namespace qvl::testing
