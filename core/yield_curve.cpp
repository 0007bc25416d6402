#include "core/yield_curve.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "core/calendar.hpp"

namespace qvl {

namespace {

constexpr int max_settle_passes = 1000;
// A pass over a gap of g missing whole years recomputes g rows, and a pillar millions of years
// out makes that gap millions of rows long; this bounds the rows all passes of a curve may
// recompute (some 30 ms of work), so a short table cannot keep the caller for minutes.
constexpr std::int64_t max_settle_row_updates = 2'000'000;

// A par rate at or below -100 % leaves 1 + t r without a positive value from a year on, so no
// curve holds it; a rate above 10000 % is far beyond any quoted curve, and up to it the
// bootstrap's arithmetic stays finite.
constexpr double min_par_rate = -1.0;
constexpr double max_par_rate = 100.0;

// Working record of the bootstrap for whole year n = index + 1.
struct SwapScheduleRow {
    Date date = invalid_date;
    bool is_pillar = false;
    double time = 0.0;
    double accrual = 0.0;
    std::int32_t pillar_index = -1;
    double par_rate = 0.0;
    double discount_factor = 0.0;
    double annuity = 0.0;
};

// The n of a tenor written exactly as a row's tenor ("1Y", "10Y": digits without sign or
// leading zero, then Y); 0 for any other tenor. Matching by value is the same as comparing
// with the row's text, without building the texts.
std::int64_t whole_year_count(const std::string& tenor) {
    if (tenor.size() < 2 || tenor.back() != 'Y' || tenor.front() == '0') return 0;
    std::int64_t n = 0;
    for (std::size_t i = 0; i + 1 < tenor.size(); ++i) {
        const char c = tenor[i];
        if (c < '0' || c > '9') return 0;
        if (n > (std::int64_t{1} << 40)) return 0;  // far beyond any row count
        n = n * 10 + (c - '0');
    }
    return n;
}

// Whole years from `from` to `to`.
std::int64_t whole_years_between(Date from, Date to) {
    const CivilDate a = civil_from_days(from);
    const CivilDate b = civil_from_days(to);
    std::int64_t n = static_cast<std::int64_t>(b.year) - a.year;
    if (b.month < a.month || (b.month == a.month && b.day < a.day)) --n;
    return n;
}

}  // namespace

YieldCurve::YieldCurve(Date trade_date, const CurveInput& pairs)
    : trade_date_(trade_date), spot_date_(advance_business_days(trade_date, 2)) {
    if (pairs.empty()) throw std::runtime_error("YieldCurve: no tenor/rate pairs");

    pillars_.reserve(pairs.size());
    for (const auto& [tenor, rate] : pairs) {
        CurvePillar p;
        p.tenor = tenor;
        p.par_rate = rate;
        p.date = date_from_tenor(spot_date_, tenor);
        p.time = year_fraction_act360(spot_date_, p.date);
        if (rate <= min_par_rate) {
            throw std::runtime_error("YieldCurve: par rate of " + tenor + " is at or below -100 %");
        }
        if (!(rate <= max_par_rate)) {
            throw std::runtime_error("YieldCurve: par rate of " + tenor +
                                     " is above 10000 %, not supported");
        }
        if (!pillars_.empty() && p.date <= pillars_.back().date) {
            throw std::runtime_error("YieldCurve: pillar dates are not strictly increasing (" +
                                     tenor + ")");
        }
        pillars_.push_back(std::move(p));
    }

    const std::int64_t n_years = whole_years_between(spot_date_, pillars_.back().date);
    if (n_years < 1) {
        throw std::runtime_error(
            "YieldCurve: last pillar is less than one year after the spot date");
    }

    // Rows after the last whole-year pillar are never read, so only those up to it are built.
    std::vector<std::int64_t> pillar_years(pillars_.size());
    std::int64_t row_count = 1;
    for (std::size_t i = 0; i < pillars_.size(); ++i) {
        const std::int64_t n = whole_year_count(pillars_[i].tenor);
        pillar_years[i] = n;
        if (n <= n_years) row_count = std::max(row_count, n);
    }

    // Initial guesses: single-period simple interest from the spot date.
    for (CurvePillar& p : pillars_) p.discount_factor = 1.0 / (1.0 + p.time * p.par_rate);
    pillars_[0].forward_rate = -std::log(pillars_[0].discount_factor) / pillars_[0].time;
    for (std::size_t i = 1; i < pillars_.size(); ++i) {
        pillars_[i].forward_rate =
            -std::log(pillars_[i].discount_factor / pillars_[i - 1].discount_factor) /
            (pillars_[i].time - pillars_[i - 1].time);
    }
    const double df_spot =
        std::exp(-pillars_[0].forward_rate * year_fraction_act360(trade_date_, spot_date_));
    for (CurvePillar& p : pillars_) p.discount_factor *= df_spot;

    std::vector<SwapScheduleRow> rows(static_cast<std::size_t>(row_count));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        SwapScheduleRow& row = rows[r];
        const auto years = static_cast<std::int64_t>(r) + 1;
        // The date of the tenor "<years>Y", without writing and reading the text back; it lies
        // on or before the last pillar's date, so within the tenors' reach.
        row.date =
            advance_business_days(add_months(spot_date_, static_cast<std::int32_t>(12 * years)), 0);
        row.time = year_fraction_act360(spot_date_, row.date);
        row.accrual = r == 0 ? row.time : row.time - rows[r - 1].time;
    }
    // Each row takes the pillar written as its year, found from the pillar's side in one pass
    // rather than by a search per row. No two pillars share a year: the same text would give
    // the same date, which the strictly increasing dates rule out.
    for (std::size_t i = 0; i < pillars_.size(); ++i) {
        const std::int64_t n = pillar_years[i];
        if (n < 1 || n > row_count) continue;
        SwapScheduleRow& row = rows[static_cast<std::size_t>(n - 1)];
        row.is_pillar = true;
        row.pillar_index = static_cast<std::int32_t>(i);
        row.par_rate = pillars_[i].par_rate;
        row.discount_factor = pillars_[i].discount_factor;
    }
    rows[0].annuity = rows[0].discount_factor * rows[0].accrual;
    if (n_years < 2 || rows.size() < 2) return;

    for (std::size_t r = 1; r < rows.size(); ++r) {
        if (rows[r].is_pillar && !rows[0].is_pillar) {
            throw std::runtime_error(
                "YieldCurve: whole-year pillars of 2Y or more need a 1Y pillar");
        }
    }

    std::size_t prev = 0;
    std::int64_t settle_row_updates = 0;
    const auto refresh = [&](std::size_t cur) {
        for (std::size_t r = prev + 1; r <= cur; ++r) {
            rows[r].discount_factor = discount_factor(rows[r].date);
            rows[r].annuity = rows[r].discount_factor * rows[r].accrual + rows[r - 1].annuity;
        }
    };
    for (std::size_t cur = 1; cur < rows.size(); ++cur) {
        if (!rows[cur].is_pillar) continue;
        CurvePillar& pj = pillars_[static_cast<std::size_t>(rows[cur].pillar_index)];
        const CurvePillar& pjp = pillars_[static_cast<std::size_t>(rows[prev].pillar_index)];
        const double rate = rows[cur].par_rate;
        // Par condition of an annual swap, the intermediate rows scaling with the final factor.
        const auto solve = [&] {
            const double x = cur == prev + 1 ? rows[cur].accrual
                                             : (rows[cur].annuity - rows[prev].annuity) /
                                                   rows[cur].discount_factor;
            pj.discount_factor = (df_spot - rate * rows[prev].annuity) / (1.0 + rate * x);
            refresh(cur);
            pj.forward_rate =
                -std::log(pj.discount_factor / pjp.discount_factor) / (pj.time - pjp.time);
        };

        double old = pj.discount_factor;
        refresh(cur);
        solve();
        if (!rows[cur - 1].is_pillar) {
            double diff = std::fabs(old - pj.discount_factor);
            int passes = 0;
            while (diff > 1e-12) {
                settle_row_updates += static_cast<std::int64_t>(cur - prev);
                if (++passes > max_settle_passes || settle_row_updates > max_settle_row_updates) {
                    throw std::runtime_error("YieldCurve: bootstrap does not settle at pillar " +
                                             pj.tenor);
                }
                old = pj.discount_factor;
                solve();
                diff = std::fabs(old - pj.discount_factor);
            }
        }
        prev = cur;
    }
}

double YieldCurve::discount_factor(Date d) const {
    if (d <= trade_date_) return 1.0;
    const CurvePillar& first = pillars_.front();
    if (d < first.date) return std::exp(-first.forward_rate * year_fraction_act360(trade_date_, d));
    const CurvePillar& last = pillars_.back();
    if (d == last.date) return last.discount_factor;
    if (d > last.date) {
        return last.discount_factor *
               std::exp(-last.forward_rate * year_fraction_act360(last.date, d));
    }
    const auto k = std::lower_bound(pillars_.begin(), pillars_.end(), d,
                                    [](const CurvePillar& p, Date v) { return p.date < v; });
    if (k->date == d) return k->discount_factor;
    const CurvePillar& before = *(k - 1);
    return before.discount_factor *
           std::exp(-k->forward_rate * year_fraction_act360(before.date, d));
}

double YieldCurve::forward_rate_1d(Date d) const {
    if (d < trade_date_) return 0.0;
    // The day after the last representable date wraps rather than overflows.
    const Date next = static_cast<Date>(static_cast<std::uint32_t>(d) + 1u);
    return std::log(discount_factor(d) / discount_factor(next)) / year_fraction_act360(d, next);
}

}  // namespace qvl
