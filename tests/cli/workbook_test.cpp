// qvl-host --workbook on workbooks written here with libzip: the files it refuses, and a
// recalculation with its transcript, listings and copy. Shared formulas, local names, arrays
// larger than their result and figures, as another program writes them, are tests/workbooks'.

#include "workbook/workbook.hpp"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <fstream>

#include "child_process.hpp"

namespace {

namespace fs = std::filesystem;
using standin::Value;
using Parts = std::vector<std::pair<std::string, std::string>>;

const std::string ns =
    " xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

class WorkbookFiles : public testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("qvl-workbook-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string zip(const std::string& name, const Parts& parts) {
        const std::string path = (folder_ / name).string();
        zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
        for (const auto& [part, text] : parts) {
            zip_file_add(z, part.c_str(), zip_source_buffer(z, text.data(), text.size(), 0), 0);
        }
        zip_close(z);
        return path;
    }

    // The parts of a workbook: sheets given as their <sheetData> rows, names as XML.
    static Parts workbook(const std::vector<std::pair<std::string, std::string>>& sheets,
                          const std::string& names = "") {
        Parts parts = {{"_rels/.rels", "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
                                           "officeDocument\" Target=\"xl/workbook.xml\"/>"
                                           "</Relationships>"}};
        std::string book = "<workbook" + ns + "><sheets>", rels = "<Relationships>";
        for (std::size_t i = 1; i <= sheets.size(); ++i) {
            const std::string n = std::to_string(i);
            book += "<sheet name=\"" + sheets[i - 1].first + "\" sheetId=\"" + n + "\" r:id=\"rId" +
                    n + "\"/>";
            rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel +
                    "worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
            parts.emplace_back("xl/worksheets/sheet" + n + ".xml",
                               "<worksheet" + ns + "><sheetData>" + sheets[i - 1].second +
                                   "</sheetData></worksheet>");
        }
        parts.emplace_back("xl/workbook.xml",
                           book + "</sheets><definedNames>" + names +
                               "</definedNames><calcPr calcId=\"191029\"/></workbook>");
        parts.emplace_back("xl/_rels/workbook.xml.rels", rels + "</Relationships>");
        return parts;
    }

    fs::path folder_;
};

std::string formula(const std::string& cell, const std::string& text,
                    const std::string& attributes = "", const std::string& cached = "") {
    return "<c r=\"" + cell + "\"><f" + attributes + ">" + text + "</f>" +
           (cached.empty() ? "" : "<v>" + cached + "</v>") + "</c>";
}

std::string bad_file_message(const std::string& path) {
    try {
        standin::workbook::read_workbook(path);
    } catch (const standin::workbook::BadFile& e) {
        return e.what();
    }
    return "read";
}

TEST_F(WorkbookFiles, EachBadFileIsNamedWithWhatIsWrong) {
    const std::string sheet_rels = "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
                                   "worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>";
    const std::string long_formula = "QVL.F(\"" + std::string(8184, 'x') + "\")";
    const struct {
        const char* name;
        Parts parts;
        const char* message;
    } cases[] = {
        {"empty.xlsx", {{"a.txt", "x"}}, "the zip holds no workbook part (xl/workbook.xml)"},
        {"nosheet.xlsx",
         {{"xl/workbook.xml", "<workbook" + ns +
                                  "><sheets><sheet name=\"S\" r:id=\"rId1\"/>"
                                  "</sheets></workbook>"},
          {"xl/_rels/workbook.xml.rels", sheet_rels}},
         "the part xl/worksheets/sheet1.xml of the sheet 'S' is missing"},
        {"xml.xlsx", workbook({{"S", "<row><c><v>1</v></row>"}}),
         "xl/worksheets/sheet1.xml: the XML does not parse"},
        {"long.xlsx", workbook({{"S", "<row>" + formula("A1", long_formula) + "</row>"}}),
         "S!A1: a formula of 8193 characters; the host allows 8,192"},
        {"ref.xlsx", workbook({{"S", "<row>" + formula("A1", "QVL.F(A1048577)") + "</row>"}}),
         "S!A1: a reference beyond the last cell XFD1048576: A1048577"},
        {"cell.xlsx", workbook({{"S", "<row><c r=\"XFE1\"><v>1</v></c></row>"}}),
         "the cell XFE1 lies beyond the last cell XFD1048576"},
        {"array.xlsx",
         workbook({{"S", "<row>" + formula("A1", "QVL.F()", " t=\"array\" ref=\"A1:XFD300\"") +
                             "</row>"}}),
         "array ranges of more than 4,194,304 cells"},
    };
    for (const auto& c : cases) {
        const std::string path = zip(c.name, c.parts);
        const std::string message = bad_file_message(path);
        EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
    std::ofstream(folder_ / "text.xlsx") << "not a zip";
    ChildProcess r({QVL_HOST_PATH, "--workbook", (folder_ / "text.xlsx").string()}, "");
    EXPECT_EQ(r.finish(), 2);
    EXPECT_EQ(r.err, "qvl-host: " + (folder_ / "text.xlsx").string() +
                         ": not a workbook: not a zip file (Not a zip archive)\n");
}

TEST_F(WorkbookFiles, RecalculatesTheQvlCellsAndWritesACopyOfTheirValues) {
    const std::string book =
        "<row r=\"1\">" + formula("B1", "_xll.qvl.datefromtenor(Data!$B$1,Tenor)") +
        formula("D1", "_xll.QVL.DayCountACT360(Data!B1,B1)", " t=\"array\" ref=\"D1:E2\"") +
        formula("F1", "INDEX(D1:E2,2,2)", "", "5") + "</row><row r=\"2\">" +
        formula("F2", "_xll.QVL.Version()+1", "", "7") +
        "</row><row r=\"5\"><c r=\"B5\" t=\"inlineStr\"><is><t>1Y</t></is></c></row>";
    const std::string path = zip(
        "book.xlsx",
        workbook({{"Data", "<row r=\"1\"><c r=\"B1\"><v>46042</v></c></row>"}, {"Swap book", book}},
                 "<definedName name=\"Tenor\">'Swap book'!$B$5</definedName>"));
    const std::string copy = (folder_ / "copy.xlsx").string();

    ChildProcess run({QVL_HOST_PATH, "--workbook", path, "--out", copy}, "");
    EXPECT_EQ(run.finish(), 1) << run.err;  // the formula it does not take
    EXPECT_NE(run.out.find("> 'Swap book'!B1 = qvl.datefromtenor(Data!$B$1,Tenor)\n46407\n"
                           "> 'Swap book'!D1:E2 = QVL.DayCountACT360(Data!B1,B1)\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find(path + ": 'Swap book'!F2:15: error: this reader takes only a formula "
                                  "that is one function call; '+' follows it; the cell keeps its "
                                  "stored value\n  =QVL.Version()+1\n                ^\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(path + ": 'Swap book'!F1: not recalculated: =INDEX(D1:E2,2,2) "
                                  "depends on 'Swap book'!D1:E2\n"),
              std::string::npos)
        << run.err;

    // Only the recalculated cells changed; the rest of the file is as it was.
    const auto read = standin::workbook::read_workbook(copy);
    const auto& s = read.sheets[1];
    EXPECT_EQ(s.value(0, 1), Value(46407));
    EXPECT_EQ(s.value(1, 4), Value(365.0 / 360));
    EXPECT_EQ(s.value(1, 5), Value(7));
    EXPECT_EQ(s.value(0, 5), Value(5));
    standin::workbook::Package original(path), copied(copy);
    EXPECT_EQ(copied.read("xl/worksheets/sheet1.xml"), original.read("xl/worksheets/sheet1.xml"));
    EXPECT_NE(
        copied.read("xl/workbook.xml").find("<calcPr calcId=\"191029\" fullCalcOnLoad=\"1\"/>"),
        std::string::npos);

    ChildProcess json({QVL_HOST_PATH, "--workbook", path, "--json"}, "");
    json.finish();
    EXPECT_NE(json.out.find("{\"cell\":\"'Swap book'!E2\",\"range\":\"'Swap book'!D1:E2\","
                            "\"formula\":\"=QVL.DayCountACT360(Data!B1,B1)\","
                            "\"value\":1.0138888888888888}\n"),
              std::string::npos)
        << json.out;
}

TEST_F(WorkbookFiles, ACycleFailsTheRunAndWritesNoCopy) {
    const std::string path =
        zip("cycle.xlsx",
            workbook({{"S", "<row>" + formula("A1", "QVL.DateFromTenor(A1,\"1Y\")") + "</row>"}}));
    ChildProcess run({QVL_HOST_PATH, "--workbook", path, "--out", path + ".copy"}, "");
    EXPECT_EQ(run.finish(), 1);
    EXPECT_EQ(run.err, path + ": error: circular reference: S!A1 -> S!A1\n");
    EXPECT_FALSE(fs::exists(path + ".copy"));
}

}  // namespace
