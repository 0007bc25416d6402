// The worksheet's range readers, followed by what the worksheet builds from them: a curve, a
// series and a swap, valued once. The input holds four CSV sections separated by lines "%%":
//
//   curve date, index, buyer, credit event rate, notional, trade date
//   %%
//   the curve table (Tenor, ParRate)
//   %%
//   the series table
//   %%
//   the factor table
//
// typed as qvl-host types CSV fields (nil, number, TRUE/FALSE, text), with three escapes for
// the other kinds of cell value: \m missing, \e<code> an error, \i<n> an integer. A one-cell
// range reaches the reader as that cell, as a host passes it. When the curve or the series
// cannot be built, the reference one stands in, so that every later step still runs.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/csv.hpp"
#include "core/cashflow.hpp"
#include "core/conventions.hpp"
#include "core/qvl_series.hpp"
#include "core/qvl_swap.hpp"
#include "core/self_check.hpp"
#include "core/yield_curve.hpp"
#include "excel/cell_readers.hpp"
#include "excel/range_readers.hpp"
#include "xll/host_api.hpp"

namespace {

using namespace qvl;

// Cell values over storage of their own, built only with the host's plain structures.
class Cells {
  public:
    // The cells of one CSV section: a grid, or the lone cell of a 1 x 1 range.
    const XLOPER12& range(std::string_view csv) {
        standin::CsvRows rows;
        try {
            rows = standin::parse_csv(csv);
        } catch (const std::runtime_error&) {
            return nil_;
        }
        std::size_t width = 0;
        for (const auto& row : rows) width = std::max(width, row.size());
        if (rows.empty() || width == 0) return nil_;
        auto& cells = grids_.emplace_back(rows.size() * width, nil_);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            for (std::size_t c = 0; c < rows[r].size(); ++c) {
                cells[r * width + c] = cell(rows[r][c]);
            }
        }
        if (cells.size() == 1) return cells[0];
        XLOPER12& grid = singles_.emplace_back();
        grid.xltype = xltypeMulti;
        grid.val.array.lparray = cells.data();
        grid.val.array.rows = static_cast<RW>(rows.size());
        grid.val.array.columns = static_cast<COL>(width);
        return grid;
    }

    // The fields of one CSV row, as single cells.
    std::vector<XLOPER12> row(std::string_view csv) {
        std::vector<XLOPER12> out;
        try {
            const standin::CsvRows rows = standin::parse_csv(csv);
            if (!rows.empty()) {
                for (const auto& field : rows.front()) out.push_back(cell(field));
            }
        } catch (const std::runtime_error&) {
        }
        out.resize(std::max<std::size_t>(out.size(), 6), nil_);
        return out;
    }

  private:
    XLOPER12 cell(const standin::CsvField& field) {
        XLOPER12 x = nil_;
        const std::string& t = field.text;
        if (!field.quoted && t.size() >= 2 && t[0] == '\\') {
            const int n = std::atoi(t.c_str() + 2);
            switch (t[1]) {
                case 'm':
                    x.xltype = xltypeMissing;
                    return x;
                case 'e':
                    x.xltype = xltypeErr;
                    x.val.err = n;
                    return x;
                case 'i':
                    x.xltype = xltypeInt;
                    x.val.w = n;
                    return x;
                default:
                    break;
            }
        }
        const standin::Value v = standin::type_field(field);
        switch (v.kind()) {
            case standin::Value::Kind::number:
                x.xltype = xltypeNum;
                x.val.num = v.number();
                break;
            case standin::Value::Kind::boolean:
                x.xltype = xltypeBool;
                x.val.xbool = v.boolean() ? 1 : 0;
                break;
            case standin::Value::Kind::text: {
                // A counted string, cut to the longest a cell holds.
                std::u16string& s = texts_.emplace_back(1, u'\0');
                s += v.text16().substr(0, 32767);
                s[0] = static_cast<char16_t>(s.size() - 1);
                x.xltype = xltypeStr;
                x.val.str = s.data();
                break;
            }
            default:
                break;
        }
        return x;
    }

    XLOPER12 nil_{.val = {.num = 0}, .xltype = xltypeNil};
    // Deques keep every element where it is while more are added, so the cells' pointers stay.
    std::deque<std::vector<XLOPER12>> grids_;
    std::deque<XLOPER12> singles_;
    std::deque<std::u16string> texts_;
};

// The errors a reader or a constructor raises with its message for the sheet.
template <class F>
bool attempt(F&& f) {
    try {
        f();
        return true;
    } catch (const std::runtime_error&) {
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
    return false;
}

std::vector<std::string_view> sections(std::string_view input) {
    std::vector<std::string_view> out;
    for (;;) {
        std::size_t at = input.find("\n%%");
        while (at != std::string_view::npos && at + 3 < input.size() && input[at + 3] != '\n') {
            at = input.find("\n%%", at + 1);
        }
        if (at == std::string_view::npos || out.size() == 3) {
            out.push_back(input);
            break;
        }
        out.push_back(input.substr(0, at + 1));
        input.remove_prefix(std::min(input.size(), at + 4));
    }
    out.resize(4);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::shared_ptr<QVLSwap> reference = make_reference_swap();

    const std::vector<std::string_view> parts =
        sections(std::string_view(reinterpret_cast<const char*>(data), size));
    Cells cells;
    const std::vector<XLOPER12> args = cells.row(parts[0]);
    const XLOPER12& curve_data = cells.range(parts[1]);
    const XLOPER12& series_data = cells.range(parts[2]);
    const XLOPER12& factors_data = cells.range(parts[3]);

    std::shared_ptr<const YieldCurve> curve = reference->curve;
    // A date text without numbers fails with its reading error, which the sheet shows.
    Date curve_date = invalid_date;
    attempt([&] { curve_date = addin::DateFromCell(args[0]); });
    if (curve_date != invalid_date) {
        attempt([&] {
            auto built =
                std::make_shared<const YieldCurve>(curve_date, addin::ReadCurveTable(curve_data));
            for (const CurvePillar& p : built->pillars()) {
                built->discount_factor(p.date);
                built->forward_rate_1d(p.date);
            }
            curve = std::move(built);
        });
    }

    std::shared_ptr<const QVLSeries> series;
    attempt([&] { series = addin::SeriesFromRanges(args[1], series_data, factors_data); });
    if (!series) series = reference->series;

    // The side and the amounts as QVL.CreateSwap reads them.
    const bool buyer = addin::switch_argument(args[2], default_is_buyer);
    const double rate = addin::number_argument(args[3], default_event_rate);
    const double notional = addin::number_argument(args[4], default_notional);
    Date trade_date = invalid_date;
    attempt([&] { trade_date = addin::DateFromCell(args[5]); });
    if (trade_date == invalid_date) trade_date = series->start_date;
    attempt([&] {
        QVLSwap swap(series, curve, buyer, rate, notional);
        attempt([&] { swap.calc_from_event_rate(trade_date, rate); });
        attempt([&] { cashflow_rows(swap, trade_date, rate); });
    });
    return 0;
}
