#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/date.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/results.hpp"
#include "core/risk.hpp"
#include "objects/object_cache.hpp"

// The service's answers, written as compact JSON text with members in a fixed order. Texts are
// written as their bytes, escaped where JSON requires it: a backslash before the double quote and
// the backslash, line feed, carriage return and tab as \n, \r and \t, every other byte below 0x20
// as \u00xx, and a malformed UTF-8 sequence replaced by U+FFFD, so that every document is valid
// JSON whatever its texts hold. Numbers are written with 10 significant digits, non-finite ones
// as null.
namespace qvl::service {

std::string JsonErrorDocument(std::string_view message);

using SeriesList = std::vector<std::pair<std::string, std::shared_ptr<const QVLSeries>>>;

std::string HealthDocument(const objects::ObjectCache::CountsResult& counts);
std::string SeriesDocument(const SeriesList& series);
// The swap's terms, with the trade date and event rate its handle shows.
std::string SpecsDocument(const QVLSwap& swap, const QVLSeries& series, Date trade_date,
                          Date settlement_date, double event_rate);
std::string ValuationToJson(const ValuationResult& result);
std::string PnLToJson(const PnLResult& result);
// An empty measure is null.
std::string risk_to_json(const RiskResult& result);
std::string PaymentDocument(double cash_settlement_amount, Date payment_date,
                            std::string_view ois_date);

}  // namespace qvl::service
