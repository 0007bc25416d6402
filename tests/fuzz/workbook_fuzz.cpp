// The workbook reader, planner and copy writer. The input is a sheet part, optionally followed
// by "\0" and shared strings and by "\0" and defined names (workbook XML); it is packed into a
// workbook file with two sheets, read, planned, and given new values in every formula's range
// through a copy, which must read back with them.

#include <unistd.h>
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.hpp"
#include "workbook/plan.hpp"
#include "workbook/write.hpp"

namespace {

using namespace standin::workbook;

std::string_view next(std::string_view& input) {
    const std::size_t end = input.find('\0');
    const std::string_view part = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    return part;
}

void write_zip(const std::string& path,
               const std::vector<std::pair<std::string, std::string>>& parts) {
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    for (const auto& [name, text] : parts) {
        const zip_int64_t i =
            zip_file_add(z, name.c_str(), zip_source_buffer(z, text.data(), text.size(), 0), 0);
        zip_set_file_compression(z, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
    }
    check(zip_close(z) == 0, "the test file is written");
}

// Every function whose name starts with QVL. is the add-in's, taking up to eight arguments.
const standin::Registration* addin(std::string_view name) {
    static const standin::Registration reg = [] {
        standin::Registration r;
        r.function_text = "QVL.F";
        r.argument_codes = "QQQQQQQQ";
        return r;
    }();
    return name.substr(0, 4) == "QVL." ? &reg : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // In memory where the machine offers it: each run writes and reads two files.
    static const std::string folder =
        std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/qvl-fuzz-workbook-" +
        std::to_string(::getpid());
    static const std::string file = folder + ".xlsx", copy = folder + "-copy.xlsx";
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string sheet(next(input)), strings(next(input)), names(next(input));
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    write_zip(file, {{"xl/workbook.xml",
                      "<workbook xmlns:r=\"r\"><sheets><sheet name=\"Book\" r:id=\"a\"/><sheet "
                      "name=\"Market data\" r:id=\"b\"/></sheets>" +
                          names + "</workbook>"},
                     {"xl/_rels/workbook.xml.rels",
                      "<Relationships><Relationship Id=\"a\" Type=\"" + rel +
                          "worksheet\" Target=\"s.xml\"/><Relationship Id=\"b\" Type=\"" + rel +
                          "worksheet\" Target=\"/xl/m.xml\"/><Relationship Id=\"c\" Type=\"" + rel +
                          "sharedStrings\" Target=\"t.xml\"/></Relationships>"},
                     {"xl/s.xml", sheet},
                     {"xl/m.xml",
                      "<worksheet><sheetData><row><c><v>1</v></c></row></sheetData></worksheet>"},
                     {"xl/t.xml", strings.empty() ? "<sst/>" : strings}});
    Workbook book;
    Plan plan;
    try {
        book = read_workbook(file);
        plan = plan_recalculation(book, addin);
    } catch (const BadFile&) {
        return 0;
    } catch (const CircularReference&) {
        return 0;
    }
    // A value for each cell of each formula's range, as recalculation gives them.
    std::vector<std::vector<StoredCell>> changes(book.sheets.size());
    std::size_t cells = 0;
    for (std::size_t s = 0; s < book.sheets.size(); ++s) {
        for (const Formula& f : book.sheets[s].formulas) {
            for (std::int32_t r = 0; r < f.rows && cells < 4096; ++r) {
                for (std::int32_t c = 0; c < f.columns && cells < 4096; ++c, ++cells) {
                    changes[s].push_back({cell_key(f.row + r, f.column + c),
                                          standin::Value(static_cast<double>(cells))});
                }
            }
        }
        std::stable_sort(changes[s].begin(), changes[s].end(),
                         [](const StoredCell& a, const StoredCell& b) { return a.key < b.key; });
    }
    write_copy(book, changes, copy);
    const Workbook again = read_workbook(copy);
    for (std::size_t s = 0; s < changes.size(); ++s) {
        for (std::size_t i = 0; i < changes[s].size(); ++i) {
            const StoredCell& c = changes[s][i];
            if (i + 1 < changes[s].size() && changes[s][i + 1].key == c.key) continue;
            check(again.sheets[s].value(key_row(c.key), key_column(c.key)) == c.value,
                  "the copy holds the new values");
        }
    }
    return 0;
}
