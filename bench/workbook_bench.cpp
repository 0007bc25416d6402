// qvl-host --workbook on a book of swaps: reading the file, planning the recalculation and
// evaluating it through the stand-in host with qvl.xll, each measured on its own, and the heap
// the read workbook and its plan hold per cell.
//
// The book: a curve and a series, then per swap a block of 16 rows holding the swap's handle,
// its event rate, its valuation grid (15 x 2), the solve from a quoted spread (15 x 2) and its
// risk grid (5 x 2), every cell with a cached value as the host stores it.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host_fixture.hpp"
#include "workbook/plan.hpp"
#include "workbook/recalc.hpp"
#include "workbook/workbook.hpp"
#include "workbook/write.hpp"

namespace {

using namespace standin::workbook;

const char* const tenors[] = {"1M", "2M", "3M", "6M", "9M", "1Y", "2Y", "3Y",
                              "4Y", "5Y", "6Y", "7Y", "8Y", "9Y", "10Y"};
const double rates[] = {0.039765, 0.038988, 0.038419, 0.036977, 0.035929,
                        0.034978, 0.032768, 0.032442, 0.032632, 0.033017,
                        0.033524, 0.03407,  0.034626, 0.035181, 0.035712};

std::string text_cell(const std::string& at, const std::string& text) {
    return "<c r=\"" + at + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

std::string number_cell(const std::string& at, double value) {
    return "<c r=\"" + at + "\"><v>" + number_text(value) + "</v></c>";
}

std::string formula_cell(const std::string& at, const std::string& formula,
                         const std::string& ref = "") {
    return "<c r=\"" + at + "\" t=\"str\"><f" +
           (ref.empty() ? "" : " t=\"array\" ref=\"" + ref + "\"") + ">_xll." + formula +
           "</f><v>cached</v></c>";
}

std::string sheet(const std::string& rows) {
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<sheetData>" +
           rows + "</sheetData></worksheet>";
}

std::string book_sheet(int swaps) {
    std::string rows =
        "<row r=\"1\">" + formula_cell("B1", "QVL.CreateCurve(Curve!$B$1,Curve!$A$3:$B$18)") +
        "</row><row r=\"2\">" +
        formula_cell("B2", "QVL.CreateSeries(1,Series!$A$1:$E$2,Series!$A$4:$B$9)") + "</row>";
    for (int i = 0; i < swaps; ++i) {
        const int top = 4 + 16 * i;
        for (int r = top; r < top + 15; ++r) {
            const std::string n = std::to_string(r);
            const std::string t = std::to_string(top);
            rows += "<row r=\"" + n + "\">";
            if (r == top) {
                rows += formula_cell("A" + n, std::string("QVL.CreateSwap($B$2,$B$1,") +
                                                  (i % 2 ? "FALSE" : "TRUE") + ",200,10000000)") +
                        number_cell("B" + n, 150 + i % 100);
            }
            const std::string row_end = std::to_string(top + 14);
            for (const auto& [column, formula] : std::map<std::string, std::string>{
                     {"D", "QVL.CalcFromEventRate(A" + t + ",Curve!$B$1,B" + t + ")"},
                     {"G", "QVL.SolveFromSpread(A" + t + ",Curve!$B$1,200.720859)"},
                     {"J", "QVL.Risk(A" + t + ",Curve!$B$1,B" + t + ")"}}) {
                const char second = static_cast<char>(column[0] + 1);
                if (column == "J" && r >= top + 5) {
                    continue;
                }
                const std::string ref =
                    column + t + ":" + second + (column == "J" ? std::to_string(top + 4) : row_end);
                rows += r == top ? formula_cell(column + n, formula, ref)
                                 : text_cell(column + n, "Label");
                rows += number_cell(std::string(1, second) + n, 0.5 * r);
            }
            rows += "</row>";
        }
    }
    return sheet(rows);
}

// The book of swaps as a file; the same file for every benchmark of one size.
std::string book_file(int swaps) {
    static std::map<int, std::string> made;
    if (auto it = made.find(swaps); it != made.end()) {
        return it->second;
    }
    const std::string path =
        (std::filesystem::temp_directory_path() /
         ("qvl-bench-book-" + std::to_string(::getpid()) + "-" + std::to_string(swaps) + ".xlsx"))
            .string();
    std::string curve = "<row r=\"1\">" + number_cell("B1", 46042) + "</row><row r=\"3\">" +
                        text_cell("A3", "Tenor") + text_cell("B3", "ParRate") + "</row>";
    for (int i = 0; i < 15; ++i) {
        const std::string n = std::to_string(4 + i);
        curve += "<row r=\"" + n + "\">" + text_cell("A" + n, tenors[i]) +
                 number_cell("B" + n, rates[i]) + "</row>";
    }
    std::string series = "<row r=\"1\">" + text_cell("A1", "SeriesIndex") +
                         text_cell("B1", "SeriesName") + text_cell("C1", "StartDate") +
                         text_cell("D1", "MaturityDate") + text_cell("E1", "Coupon") +
                         "</row><row r=\"2\">" + number_cell("A2", 1) +
                         text_cell("B2", "1 (Sep 25)") + text_cell("C2", "2025-09-11") +
                         text_cell("D2", "2030-12-11") + number_cell("E2", 2) + "</row>";
    const char* dates[] = {"Date",       "2025-09-01", "2025-10-01",
                           "2025-11-01", "2025-12-01", "2026-01-01"};
    const double factors[] = {1, 1, 0.999986, 0.999955, 0.999712, 0.997583};
    for (int i = 0; i < 6; ++i) {
        const std::string n = std::to_string(4 + i);
        series += "<row r=\"" + n + "\">" + text_cell("A" + n, dates[i]) +
                  number_cell("B" + n, factors[i]) + "</row>";
    }
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    const std::vector<std::pair<std::string, std::string>> parts = {
        {"_rels/.rels", "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
                            "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml",
         "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
         "xmlns:r=\"" +
             rel.substr(0, rel.size() - 1) +
             "\"><sheets><sheet name=\"Curve\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"Series\" "
             "sheetId=\"2\" r:id=\"rId2\"/><sheet name=\"Book\" sheetId=\"3\" r:id=\"rId3\"/>"
             "</sheets><calcPr calcId=\"191029\"/></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
             "worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
             rel +
             "worksheet\" Target=\"worksheets/sheet2.xml\"/><Relationship Id=\"rId3\" Type=\"" +
             rel + "worksheet\" Target=\"worksheets/sheet3.xml\"/></Relationships>"},
        {"xl/worksheets/sheet1.xml", sheet(curve)},
        {"xl/worksheets/sheet2.xml", sheet(series)},
        {"xl/worksheets/sheet3.xml", book_sheet(swaps)},
    };
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    for (const auto& [name, text] : parts) {
        zip_file_add(z, name.c_str(), zip_source_buffer(z, text.data(), text.size(), 0), 0);
    }
    if (zip_close(z) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::abort();
    }
    std::atexit([] {
        for (const auto& [n, p] : made) std::filesystem::remove(p);
    });
    return made[swaps] = path;
}

std::size_t cells_of(const Workbook& book) {
    std::size_t cells = 0;
    for (const Sheet& s : book.sheets) cells += s.cells.size();
    return cells;
}

void BM_WorkbookRead(benchmark::State& state) {
    const std::string path = book_file(static_cast<int>(state.range(0)));
    double heap = 0, cells = 0;
    for (auto _ : state) {
        const double before = static_cast<double>(mallinfo2().uordblks);
        Workbook book = read_workbook(path);
        heap = static_cast<double>(mallinfo2().uordblks) - before;
        cells = static_cast<double>(cells_of(book));
        benchmark::DoNotOptimize(book);
    }
    state.counters["cells"] = cells;
    state.counters["heap_bytes_per_cell"] = heap / cells;
}
BENCHMARK(BM_WorkbookRead)->Arg(250)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_WorkbookPlan(benchmark::State& state) {
    const Workbook book = read_workbook(book_file(static_cast<int>(state.range(0))));
    const FunctionLookup lookup = registered_functions(loaded_host());
    double heap = 0;
    for (auto _ : state) {
        const double before = static_cast<double>(mallinfo2().uordblks);
        Plan plan = plan_recalculation(book, lookup);
        heap = static_cast<double>(mallinfo2().uordblks) - before;
        benchmark::DoNotOptimize(plan);
    }
    state.counters["heap_bytes_per_cell"] = heap / static_cast<double>(cells_of(book));
}
BENCHMARK(BM_WorkbookPlan)->Arg(250)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_WorkbookEvaluate(benchmark::State& state) {
    const Workbook book = read_workbook(book_file(static_cast<int>(state.range(0))));
    standin::Host& host = loaded_host();
    const Plan plan = plan_recalculation(book, registered_functions(host));
    for (auto _ : state) {
        Recalculation recalculation(host, book, plan);
        recalculation.run();
        benchmark::DoNotOptimize(recalculation.outcomes());
    }
    state.counters["calls"] = static_cast<double>(plan.steps.size());
}
BENCHMARK(BM_WorkbookEvaluate)->Arg(1000)->Unit(benchmark::kMillisecond);

// --out: the copy with every recalculated value written back.
void BM_WorkbookCopy(benchmark::State& state) {
    const Workbook book = read_workbook(book_file(static_cast<int>(state.range(0))));
    standin::Host& host = loaded_host();
    const Plan plan = plan_recalculation(book, registered_functions(host));
    Recalculation recalculation(host, book, plan);
    recalculation.run();
    const std::string copy = book.path + ".copy.xlsx";
    for (auto _ : state) {
        write_copy(book, recalculation.changes(), copy);
    }
    std::filesystem::remove(copy);
}
BENCHMARK(BM_WorkbookCopy)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
