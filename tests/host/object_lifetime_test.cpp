// Objects belong to the cells that made them: a recalculated cell replaces its object, and calls
// from no cell pile up as before. That a clear forgets which cell made what is tests/objects'.

#include <malloc.h>

#include <string>

#include "addin_fixture.hpp"

namespace {

using standin::Cell;
using standin::Value;

// The reference workbook in cells: a curve in A1, a series in A2, a buyer's swap in B1 and a
// seller's swap in B2, all on one sheet.
class CellWorkbook : public Workbook {
  protected:
    struct Handles {
        Value curve, series, buyer, seller;
    };

    Handles recalculate() {
        Handles h;
        h.curve = new_curve(curve_cell);
        h.series = host.call_from(series_cell, "QVL.CreateSeries", {1, series, factors});
        h.buyer = host.call_from(buyer_cell, "QVL.CreateSwap", {h.series, h.curve});
        h.seller = host.call_from(seller_cell, "QVL.CreateSwap",
                                  {h.series, h.curve, Value::boolean(false)});
        return h;
    }

    // Whether each handle still names its object: + or -.
    std::string live(const Handles& h) {
        const auto mark = [](const Value& v) { return v.is_text() ? '-' : '+'; };
        return {mark(host.call("QVL.DiscountFactor", {h.curve, 46042})),
                mark(host.call("QVL.GetSeriesInfo", {h.series})),
                mark(host.call("QVL.GetSwapInfo", {h.buyer})),
                mark(host.call("QVL.GetSwapInfo", {h.seller}))};
    }
    bool curve_live(const char* handle) {
        return host.call("QVL.DiscountFactor", {handle, 46042}) == Value(1.0);
    }
    Value new_curve(const Cell& cell) {
        return host.call_from(cell, "QVL.CreateCurve", {"2026-01-20", curve});
    }

    const Cell curve_cell{.row = 0, .column = 0};
    const Cell series_cell{.row = 1, .column = 0};
    const Cell buyer_cell{.row = 0, .column = 1};
    const Cell seller_cell{.row = 1, .column = 1};
};

TEST_F(CellWorkbook, RecalculationReplacesEachCellsObject) {
    const Handles first = recalculate();
    Handles last;
    for (int i = 0; i < 49; ++i) last = recalculate();
    // The shared counter runs on without gaps; only the handles change.
    EXPECT_EQ(last.seller, Value("#Swap_200"));
    EXPECT_EQ(live(first), "----");
    EXPECT_EQ(live(last), "++++");
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
    // A sheet recalculated all day holds the same four objects; the heap does not grow.
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 200; ++i) last = recalculate();
    EXPECT_LE(mallinfo2().uordblks, before + 4096);
#endif
}

TEST_F(CellWorkbook, AFailingRecalculationDropsTheCellsEarlierObject) {
    const Handles h = recalculate();
    EXPECT_EQ(host.call_from(curve_cell, "QVL.CreateCurve", {"not a date", curve}),
              Value("invalid stoi argument"));
    EXPECT_EQ(live(h), "-+++");  // a swap still values with a dropped curve: tests/objects

    // The series cell fails too; the swaps recalculated on it fail and drop theirs.
    host.call_from(series_cell, "QVL.CreateSeries", {7, series, factors});
    host.call_from(buyer_cell, "QVL.CreateSwap", {h.series, "#YC_5"});
    EXPECT_EQ(live(h), "---+");
    // No handle number went to the failures, and the cells start over.
    const Handles again = recalculate();
    EXPECT_EQ(again.seller, Value("#Swap_8"));
    EXPECT_EQ(live(again), "++++");
    EXPECT_EQ(live(h), "----");
}

TEST_F(CellWorkbook, CellsAreToldApartBySheetAndRangeButNotByReferenceKind) {
    const Cell array{.row = 0, .column = 0, .rows = 3, .columns = 2};
    EXPECT_EQ(new_curve(curve_cell), Value("#YC_1"));
    EXPECT_EQ(new_curve(array), Value("#YC_2"));
    EXPECT_EQ(new_curve({.sheet = "[Book1]Sheet2"}), Value("#YC_3"));
    EXPECT_EQ(new_curve({.sheet = "[Book2]Sheet1", .current_sheet_reference = true}),
              Value("#YC_4"));
    // The array formula recalculated: its range owns one curve.
    EXPECT_EQ(new_curve(array), Value("#YC_5"));
    // A1 answered as a reference to the current sheet is still A1 of Sheet1.
    EXPECT_EQ(new_curve({.current_sheet_reference = true}), Value("#YC_6"));
    std::string found;
    for (const char* h : {"#YC_1", "#YC_2", "#YC_3", "#YC_4"}) found += curve_live(h) ? '+' : '-';
    EXPECT_EQ(found, "--++");
}

TEST_F(CellWorkbook, CallsFromNoCellPileUpAsBefore) {
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve}), Value("#YC_1"));
    EXPECT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve}), Value("#YC_2"));
    // A host that answers a number (a macro's register id) or fails names no cell either.
    host.inject(xlfCaller, xlret_success, Value(1001.0));
    EXPECT_EQ(new_curve(curve_cell), Value("#YC_3"));
    host.inject(xlfCaller, xlret_failed, Value::error(xlerrValue));
    EXPECT_EQ(new_curve(curve_cell), Value("#YC_4"));
    // A current-sheet reference to a sheet the host cannot name.
    host.inject(xlSheetNm, xlret_success, Value::error(xlerrRef));
    EXPECT_EQ(new_curve({.current_sheet_reference = true}), Value("#YC_5"));
    // A reference whose sheet the host does not name still places the cell, by the sheet's id.
    EXPECT_EQ(new_curve(curve_cell), Value("#YC_6"));
    host.inject(xlSheetNm, xlret_invalid_value, Value::error(xlerrValue));
    EXPECT_EQ(new_curve(curve_cell), Value("#YC_7"));
    host.inject(xlSheetNm, xlret_invalid_value, Value::error(xlerrValue));
    EXPECT_EQ(new_curve(curve_cell), Value("#YC_8"));
    std::string found;
    for (const char* h : {"#YC_1", "#YC_2", "#YC_3", "#YC_4", "#YC_5", "#YC_6", "#YC_7"}) {
        found += curve_live(h) ? '+' : '-';
    }
    EXPECT_EQ(found, "++++++-");
}

}  // namespace
