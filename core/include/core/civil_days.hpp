#pragma once

#include <cstdint>

#include "core/date.hpp"

// Day-count arithmetic shared by the date and calendar code. It is inline because the
// business-day test runs inside every rolling loop and is mostly this arithmetic.

namespace qvl::detail {

// Exact inverse of days_from_civil for every 32-bit day count.
CivilDate civil_from_days_general(Date d);

// The same inverse with a shorter chain of multiplications (century, then year by one
// multiply-high, then month and day by one multiply), valid while 4 * n + 3 fits 32 bits. It is
// kept beside the general one because the business-day test runs it for every day a schedule
// rolls over: with the general one alone, building a swap takes half as long again.
// The constants: 146097 days in 400 years; 2939745 = 2^32 / 1461 rounded down, so that the high
// half of 2939745 * (4 * n + 3) is the year of the century (1461 days in four years) and the low
// half, divided back, the day of the year from March 1; 2141 / 2^16 approximates 5 / 153 (153
// days in five months from March), so that (2141 * day + 197913) has the month in its high half
// and the day of the month, times 2141, in its low half.
inline constexpr std::int64_t fast_era_shift = 2000;
inline constexpr std::int64_t fast_first = -fast_era_shift * 146097;
inline constexpr std::int64_t fast_last = (std::int64_t{1} << 30) - 1 - fast_era_shift * 146097;

inline CivilDate civil_from_days_inline(Date d) {
    if (d < fast_first || d > fast_last) return civil_from_days_general(d);
    const auto n = static_cast<std::uint32_t>(d - fast_first);
    const std::uint32_t n1 = 4 * n + 3;
    const std::uint32_t century = n1 / 146097;
    const std::uint32_t n_c = n1 % 146097 / 4;
    const std::uint64_t p2 = std::uint64_t{2939745} * (4 * n_c + 3);
    const auto year_of_century = static_cast<std::uint32_t>(p2 >> 32);
    const std::uint32_t day_of_year = static_cast<std::uint32_t>(p2) / 2939745 / 4;
    const std::uint32_t n3 = 2141 * day_of_year + 197913;
    const std::uint32_t month = n3 >> 16;
    const std::uint32_t day = (n3 & 0xFFFF) / 2141 + 1;
    const bool next_year = day_of_year >= 306;  // January and February
    const std::int64_t year = static_cast<std::int64_t>(100 * century + year_of_century) -
                              400 * fast_era_shift + (next_year ? 1 : 0);
    return {static_cast<std::int32_t>(year),
            static_cast<std::int32_t>(next_year ? month - 12 : month),
            static_cast<std::int32_t>(day)};
}

inline int weekday_inline(Date d) {
    // Shifted by a multiple of 7 into the non-negative range for an unsigned remainder.
    constexpr std::int64_t week_shift = std::int64_t{7} << 29;
    return static_cast<int>(static_cast<std::uint64_t>(std::int64_t{d} + 2 + week_shift) % 7);
}

}  // namespace qvl::detail
