#pragma once

// The conventions every swap follows and the terms a swap gets when its maker leaves them out.
// The worksheet grids, the service's documents and the registration's texts take them from here
// or from the swap's own fields (frequency_months, settlement_delay, payment_delay), so that each
// is written once.

#include <cstdint>
#include <string>
#include <string_view>

namespace qvl {

// The fixed leg accrues ACT/360 (year_fraction_act360); the swap has no field for it.
inline constexpr std::string_view day_count_text = "ACT/360";
// Business days are New York banking days (is_business_day); amounts are in US dollars.
inline constexpr std::string_view calendar_text = "NYB";
inline constexpr std::string_view currency_text = "USD";

// The schedule step as shown: "M" for the monthly schedule every swap has, a count of months
// before it ("3M") for any other.
inline std::string frequency_text(std::int32_t months) {
    return months == 1 ? std::string("M") : std::to_string(months) + "M";
}

// The settlement lag as shown: "T+3" for three business days.
inline std::string settlement_text(std::int32_t delay) {
    return "T+" + std::to_string(delay);
}

// A swap whose maker gives no side, rate or notional is the protection buyer's, at a credit
// event rate of 200 bp, on 10,000,000.
inline constexpr bool default_is_buyer = true;
inline constexpr double default_event_rate = 200.0;
inline constexpr double default_notional = 10000000.0;

// A payment left without a direction is the one at a trade's initiation; a roll without a count
// of business days only rolls to a business day, and no roll goes further than longest_roll
// business days (beyond it a roll steps through centuries one day at a time).
inline constexpr bool default_trade_initiation = true;
inline constexpr std::int32_t default_roll_days = 0;
inline constexpr std::int32_t longest_roll = 100000;

// The trade date taken where neither a request nor the swap gives one.
inline constexpr std::string_view default_trade_date = "2026-01-21";

}  // namespace qvl
