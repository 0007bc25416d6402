#include "workbook/workbook.hpp"

#include <zip.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <vector>

#include "host/value.hpp"
#include "text/utf.hpp"
#include "workbook/formula.hpp"
#include "xll/host_api.hpp"
#include "xml.hpp"

namespace standin::workbook {

namespace {

bool same_ignoring_case(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c; };
        return lower(x) == lower(y);
    });
}

bool ends_with(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

std::string zip_message(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string message = zip_error_strerror(&error);
    zip_error_fini(&error);
    return message;
}

std::string mebibytes(std::uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

int hex_digit(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Texts in cells write characters XML cannot hold as _xHHHH_ (and a literal "_x" followed by
// four hex digits and "_" as _x005F_ and the rest).
Value cell_text(std::string_view utf8) {
    if (utf8.find("_x") == std::string_view::npos) {
        return Value(utf8);
    }
    const std::u16string in = qvl::text::utf8_to_utf16(utf8);
    std::u16string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '_' && i + 6 < in.size() && in[i + 1] == 'x' && in[i + 6] == '_') {
            int code = 0;
            bool hex = true;
            for (std::size_t k = 2; k < 6; ++k) {
                const int d = hex_digit(in[i + k]);
                hex = hex && d >= 0;
                code = code * 16 + (d < 0 ? 0 : d);
            }
            if (hex) {
                out += static_cast<char16_t>(code);
                i += 6;
                continue;
            }
        }
        out += in[i];
    }
    return Value::text16(std::move(out));
}

// A shared or inline string: its own <t>, or the <t> of each run of rich text; phonetic runs
// are not part of the text.
Value string_item(const pugi::xml_node& item) {
    std::string text;
    for (pugi::xml_node c = item.first_child(); c; c = c.next_sibling()) {
        if (is_element(c, "t")) {
            text += c.child_value();
        } else if (is_element(c, "r")) {
            text += child_element(c, "t").child_value();
        }
    }
    return cell_text(text);
}

}  // namespace

bool read_cell_name(std::string_view s, std::int32_t& row, std::int32_t& column,
                    const std::string& where) {
    std::size_t i = 0;
    std::int64_t c = 0, r = 0;
    for (; i < s.size() && ((s[i] >= 'A' && s[i] <= 'Z') || (s[i] >= 'a' && s[i] <= 'z')); ++i) {
        c = std::min<std::int64_t>(c * 26 + ((s[i] | 0x20) - 'a' + 1), column_count + 1);
    }
    const std::size_t letters = i;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        r = std::min<std::int64_t>(r * 10 + (s[i] - '0'), row_count + 1);
    }
    if (letters == 0 || i == letters || i != s.size() || r == 0) {
        return false;
    }
    if (c > column_count || r > row_count) {
        throw BadFile(where + ": the cell " + std::string(s) +
                      " lies beyond the last cell XFD1048576");
    }
    row = static_cast<std::int32_t>(r - 1);
    column = static_cast<std::int32_t>(c - 1);
    return true;
}

namespace {

class Reader {
  public:
    Reader(Workbook& book) : book_(book), package_(book.path) {}

    void read() {
        find_workbook_part();
        const auto relationships = read_relationships(book_.workbook_part);
        std::string text = package_.read(book_.workbook_part);
        pugi::xml_document doc;
        parse_part(doc, text, book_.path, book_.workbook_part, pugi::parse_default);
        const pugi::xml_node root = doc.document_element();
        for (const auto& [id, r] : relationships) {
            if (r.type == "sharedStrings" && !r.target.empty()) {
                read_shared_strings(r.target);
            }
        }
        for (pugi::xml_node s : child_element(root, "sheets").children()) {
            if (is_element(s, "sheet")) {
                add_sheet(s, relationships);
            }
        }
        for (pugi::xml_node n : child_element(root, "definedNames").children()) {
            if (is_element(n, "definedName")) {
                add_name(n);
            }
        }
        for (Sheet& sheet : book_.sheets) {
            if (!sheet.part.empty()) {
                read_sheet(sheet);
            }
        }
    }

  private:
    [[noreturn]] void bad(const std::string& what) const {
        throw BadFile(book_.path + ": " + what);
    }

    void find_workbook_part() {
        // The package's relationships name the workbook part; without them the usual name.
        book_.workbook_part = "xl/workbook.xml";
        if (package_.has("_rels/.rels")) {
            for (const auto& [id, r] : read_relationships("")) {
                if (r.type == "officeDocument" && !r.target.empty()) {
                    book_.workbook_part = r.target;
                }
            }
        }
        if (!package_.has(book_.workbook_part)) {
            bad("not a workbook: the zip holds no workbook part (" + book_.workbook_part + ")");
        }
    }

    std::map<std::string, Relationship> read_relationships(const std::string& part) {
        std::map<std::string, Relationship> out;
        const std::string rels = part.empty() ? "_rels/.rels" : relationships_part(part);
        if (!package_.has(rels)) {
            return out;
        }
        std::string text = package_.read(rels);
        pugi::xml_document doc;
        parse_part(doc, text, book_.path, rels, pugi::parse_default);
        for (pugi::xml_node r : doc.document_element().children()) {
            if (!is_element(r, "Relationship")) {
                continue;
            }
            const std::string_view type = r.attribute("Type").value();
            Relationship& rel = out[r.attribute("Id").value()];
            rel.type = type.substr(type.rfind('/') + 1);
            if (std::string_view(r.attribute("TargetMode").value()) != "External") {
                rel.target = resolve_part(part, r.attribute("Target").value());
            }
        }
        return out;
    }

    void read_shared_strings(const std::string& part) {
        if (!package_.has(part)) {
            bad("the shared strings part " + part + " is missing");
        }
        std::string text = package_.read(part);
        pugi::xml_document doc;
        parse_part(doc, text, book_.path, part, pugi::parse_default | pugi::parse_ws_pcdata);
        for (pugi::xml_node si : doc.document_element().children()) {
            if (is_element(si, "si")) {
                shared_.push_back(string_item(si));
            }
        }
    }

    void add_sheet(const pugi::xml_node& s, const std::map<std::string, Relationship>& rels) {
        Sheet& sheet = book_.sheets.emplace_back();
        sheet.name = s.attribute("name").value();
        // The relationship id is the attribute "id" in the relationships namespace, whatever
        // its prefix.
        std::string id;
        for (pugi::xml_attribute a : s.attributes()) {
            const std::string_view name = a.name();
            if (name.size() > 3 && ends_with(name, ":id")) {
                id = a.value();
            }
        }
        const auto it = rels.find(id);
        if (it == rels.end() || it->second.target.empty()) {
            bad("the sheet '" + sheet.name + "' has no part");
        }
        if (it->second.type != "worksheet") {
            return;  // a chart sheet or the like: no cells
        }
        sheet.part = it->second.target;
        if (!package_.has(sheet.part)) {
            bad("the part " + sheet.part + " of the sheet '" + sheet.name + "' is missing");
        }
    }

    void add_name(const pugi::xml_node& n) {
        DefinedName name;
        name.name = n.attribute("name").value();
        if (name.name.size() >= 6 && same_ignoring_case(name.name.substr(0, 6), "_xlnm.")) {
            return;  // print areas and the like
        }
        if (const pugi::xml_attribute local = n.attribute("localSheetId")) {
            name.scope = local.as_int(-2);
            if (name.scope < 0 || name.scope >= static_cast<int>(book_.sheets.size())) {
                return;  // belongs to no sheet there is
            }
        }
        name.text = n.child_value();
        try {
            const std::vector<Token> tokens = tokenize(name.text);
            if (tokens.size() == 1 && tokens[0].kind == Token::Kind::reference) {
                const Reference& r = tokens[0].reference;
                const int sheet = book_.find_sheet(r.sheet);
                if (sheet >= 0) {
                    name.area = Area{sheet, r.first_row, r.first_column, r.last_row, r.last_column};
                }
            }
        } catch (const FormulaError&) {
            // A name for a formula or constant this reader cannot take: it names no cells.
        } catch (const BeyondLastCell& e) {
            bad("the defined name " + name.name + ": " + e.what());
        }
        book_.names.push_back(std::move(name));
    }

    Value value_of(const pugi::xml_node& c, const std::string& where) {
        const std::string_view type = c.attribute("t").value();
        if (type == "inlineStr") {
            return string_item(child_element(c, "is"));
        }
        const pugi::xml_node v = child_element(c, "v");
        const std::string_view text = v.child_value();
        if (type == "s") {
            std::size_t index = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), index);
            if (!v || ec != std::errc() || end != text.data() + text.size() ||
                index >= shared_.size()) {
                bad(where + ": shared string " + std::string(text) + " does not exist");
            }
            return shared_[index];
        }
        if (!v) {
            return Value();
        }
        if (type == "str" || type == "d") {
            return cell_text(text);
        }
        if (type == "b") {
            return Value::boolean(text == "1" || text == "true");
        }
        if (type == "e") {
            return Value::error(error_code_of(text));
        }
        double number = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (ec != std::errc() || end != text.data() + text.size()) {
            return Value::error(xlerrValue);
        }
        return Value(number);
    }

    std::string shown(const Sheet& sheet, std::int32_t row, std::int32_t column) const {
        return quoted_sheet(sheet.name) + "!" + column_letters(column) + std::to_string(row + 1);
    }

    // The formula as the host shows it, checked against the host's limits.
    std::string formula_text(const Sheet& sheet, std::int32_t row, std::int32_t column,
                             std::string_view stored) {
        std::string text;
        try {
            text = without_addin_prefix(stored);
        } catch (const BeyondLastCell& e) {
            bad(shown(sheet, row, column) + ": " + e.what());
        }
        const int characters = character_column(text, text.size()) - 1;
        if (static_cast<std::size_t>(characters) > longest_formula) {
            bad(shown(sheet, row, column) + ": a formula of " + std::to_string(characters) +
                " characters; the host allows 8,192");
        }
        return text;
    }

    void read_sheet(Sheet& sheet) {
        std::string text = package_.read(sheet.part);
        pugi::xml_document doc;
        parse_part(doc, text, book_.path, sheet.part,
                   pugi::parse_default | pugi::parse_ws_pcdata_single);
        const pugi::xml_node data = child_element(doc.document_element(), "sheetData");
        struct SharedFirst {
            std::int32_t row, column;
            std::string text;
        };
        std::map<std::string, SharedFirst> shared_first;
        struct Follower {
            std::int32_t row, column;
            std::string si;
        };
        std::vector<Follower> followers;
        std::int32_t row = -1;
        for (pugi::xml_node r = data.first_child(); r; r = r.next_sibling()) {
            if (!is_element(r, "row")) {
                continue;
            }
            // A row or cell without its place follows the one before it.
            if (const pugi::xml_attribute number = r.attribute("r")) {
                const long long n = number.as_llong(0);
                if (n < 1 || n > row_count) {
                    bad(sheet.part + ": row " + number.value() +
                        " is not a row (the last is 1048576)");
                }
                row = static_cast<std::int32_t>(n - 1);
            } else if (++row >= row_count) {
                bad(sheet.part + ": a row beyond the last cell XFD1048576");
            }
            std::int32_t column = -1;
            for (pugi::xml_node c = r.first_child(); c; c = c.next_sibling()) {
                if (!is_element(c, "c")) {
                    continue;
                }
                std::int32_t cell_row = row;
                if (const pugi::xml_attribute place = c.attribute("r")) {
                    if (!read_cell_name(place.value(), cell_row, column,
                                        book_.path + ": " + sheet.part)) {
                        bad(sheet.part + ": " + place.value() + " is not a cell");
                    }
                } else if (++column >= column_count) {
                    bad(sheet.part + ": a cell beyond the last cell XFD1048576");
                }
                const std::string where = shown(sheet, cell_row, column);
                Value value = value_of(c, where);
                if (!value.is_nil()) {
                    sheet.cells.push_back(StoredCell{cell_key(cell_row, column), std::move(value)});
                }
                const pugi::xml_node f = child_element(c, "f");
                if (!f) {
                    continue;
                }
                const std::string_view kind = f.attribute("t").value();
                const std::string_view stored = f.child_value();
                Formula formula;
                formula.row = cell_row;
                formula.column = column;
                if (kind == "shared" && stored.empty()) {
                    followers.push_back(Follower{cell_row, column, f.attribute("si").value()});
                    continue;
                }
                if (kind == "dataTable" || stored.empty()) {
                    continue;  // what-if tables and empty formulas: nothing to read
                }
                formula.text = formula_text(sheet, cell_row, column, stored);
                if (kind == "shared") {
                    shared_first[f.attribute("si").value()] =
                        SharedFirst{cell_row, column, formula.text};
                } else if (kind == "array") {
                    array_range(formula, f.attribute("ref").value(), where);
                }
                sheet.formulas.push_back(std::move(formula));
            }
        }
        for (const Follower& f : followers) {
            const auto first = shared_first.find(f.si);
            if (first == shared_first.end()) {
                bad(shown(sheet, f.row, f.column) + ": the shared formula " + f.si +
                    " has no first cell");
            }
            Formula formula;
            formula.row = f.row;
            formula.column = f.column;
            formula.text = shift_formula(first->second.text, f.row - first->second.row,
                                         f.column - first->second.column);
            sheet.formulas.push_back(std::move(formula));
        }
        // Cells and formulas in sheet order; of two at one place the later counts.
        std::stable_sort(sheet.cells.begin(), sheet.cells.end(),
                         [](const StoredCell& a, const StoredCell& b) { return a.key < b.key; });
        sheet.cells.erase(
            sheet.cells.begin(),
            std::unique(sheet.cells.rbegin(), sheet.cells.rend(),
                        [](const StoredCell& a, const StoredCell& b) { return a.key == b.key; })
                .base());
        const auto key = [](const Formula& f) { return cell_key(f.row, f.column); };
        std::stable_sort(sheet.formulas.begin(), sheet.formulas.end(),
                         [&](const Formula& a, const Formula& b) { return key(a) < key(b); });
        sheet.formulas.erase(
            sheet.formulas.begin(),
            std::unique(sheet.formulas.rbegin(), sheet.formulas.rend(),
                        [&](const Formula& a, const Formula& b) { return key(a) == key(b); })
                .base());
    }

    void array_range(Formula& formula, std::string_view ref, const std::string& where) {
        formula.array = true;
        if (ref.empty()) {
            return;
        }
        std::vector<Token> tokens;
        try {
            tokens = tokenize(ref);
        } catch (const FormulaError&) {
        } catch (const BeyondLastCell& e) {
            bad(where + ": " + e.what());
        }
        if (tokens.size() != 1 || tokens[0].kind != Token::Kind::reference ||
            !tokens[0].reference.sheet.empty()) {
            bad(where + ": the array range " + std::string(ref) + " is not a range");
        }
        const Reference& r = tokens[0].reference;
        formula.row = r.first_row;
        formula.column = r.first_column;
        formula.rows = r.last_row - r.first_row + 1;
        formula.columns = r.last_column - r.first_column + 1;
        array_cells_ += static_cast<std::uint64_t>(formula.rows) * formula.columns;
        if (array_cells_ > most_array_cells) {
            bad("array ranges of more than 4,194,304 cells in all (" + where + ": " +
                std::string(ref) + ")");
        }
    }

    Workbook& book_;
    Package package_;
    std::vector<Value> shared_;
    std::uint64_t array_cells_ = 0;
};

}  // namespace

Package::Package(const std::string& path) : path_(path), zip_(nullptr) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw BadFile(path + ": a folder, not a workbook file");
    }
    int error = 0;
    zip_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (zip_ == nullptr) {
        if (error == ZIP_ER_NOZIP || error == ZIP_ER_INCONS) {
            throw BadFile(path + ": not a workbook: not a zip file (" + zip_message(error) + ")");
        }
        throw BadFile(path + ": cannot be read: " + zip_message(error));
    }
}

Package::~Package() {
    zip_discard(static_cast<zip_t*>(zip_));
}

namespace {

zip_int64_t locate(void* zip, const std::string& part) {
    const zip_int64_t index = zip_name_locate(static_cast<zip_t*>(zip), part.c_str(), 0);
    // Part names are compared without regard to case.
    return index >= 0 ? index
                      : zip_name_locate(static_cast<zip_t*>(zip), part.c_str(), ZIP_FL_NOCASE);
}

}  // namespace

bool Package::has(const std::string& part) const {
    return locate(zip_, part) >= 0;
}

std::string Package::read(const std::string& part) {
    const zip_int64_t index = locate(zip_, part);
    if (index < 0) {
        throw BadFile(path_ + ": the part " + part + " is missing");
    }
    const std::uint64_t budget = largest_expansion - expanded_;
    const auto too_big = [&] {
        return BadFile(path_ + ": " + part + " expands beyond the cap of " +
                       mebibytes(largest_expansion) + " for all parts read");
    };
    zip_stat_t stat;
    zip_stat_init(&stat);
    std::string bytes;
    if (zip_stat_index(static_cast<zip_t*>(zip_), static_cast<zip_uint64_t>(index), 0, &stat) ==
            0 &&
        (stat.valid & ZIP_STAT_SIZE)) {
        if (stat.size > budget) {
            throw too_big();
        }
        bytes.reserve(stat.size);
    }
    zip_file_t* file =
        zip_fopen_index(static_cast<zip_t*>(zip_), static_cast<zip_uint64_t>(index), 0);
    if (file == nullptr) {
        throw BadFile(path_ + ": " + part +
                      " cannot be read: " + zip_strerror(static_cast<zip_t*>(zip_)));
    }
    struct Close {
        zip_file_t* f;
        ~Close() { zip_fclose(f); }
    } close{file};
    // The sizes a zip declares are not trusted: the bytes are counted as they come.
    constexpr std::size_t chunk = 1 << 16;
    for (;;) {
        const std::size_t had = bytes.size();
        bytes.resize(had + chunk);
        const zip_int64_t got = zip_fread(file, bytes.data() + had, chunk);
        if (got < 0) {
            throw BadFile(path_ + ": " + part + " cannot be read: " + zip_file_strerror(file));
        }
        bytes.resize(had + static_cast<std::size_t>(got));
        if (bytes.size() > budget) {
            throw too_big();
        }
        if (got == 0) {
            break;
        }
    }
    expanded_ += bytes.size();
    return bytes;
}

std::string resolve_part(std::string_view from_part, std::string_view target) {
    std::string path;
    if (!target.empty() && target[0] == '/') {
        path = target.substr(1);
    } else {
        const auto slash = from_part.rfind('/');
        path = std::string(slash == std::string_view::npos ? std::string_view()
                                                           : from_part.substr(0, slash + 1)) +
               std::string(target);
    }
    std::vector<std::string> segments;
    std::size_t from = 0;
    for (;;) {
        const std::size_t slash = path.find('/', from);
        const std::string segment = path.substr(from, slash - from);
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        if (slash == std::string::npos) {
            break;
        }
        from = slash + 1;
    }
    std::string out;
    for (const std::string& s : segments) {
        out += (out.empty() ? "" : "/") + s;
    }
    return out;
}

int error_code_of(std::string_view text) {
    for (const ErrorValue& e : error_values()) {
        if (e.text == text) return e.code;
    }
    return xlerrValue;
}

std::string error_text_of(int code) {
    return std::string(error_value_text(code).value_or("#VALUE!"));
}

const Value& Sheet::value(std::int32_t row, std::int32_t column) const {
    static const Value empty;
    const std::uint64_t key = cell_key(row, column);
    const auto it =
        std::lower_bound(cells.begin(), cells.end(), key,
                         [](const StoredCell& c, std::uint64_t k) { return c.key < k; });
    return it != cells.end() && it->key == key ? it->value : empty;
}

int Workbook::find_sheet(std::string_view name) const {
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (same_ignoring_case(sheets[i].name, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const DefinedName* Workbook::find_name(std::string_view name, int sheet) const {
    const DefinedName* global = nullptr;
    for (const DefinedName& n : names) {
        if (!same_ignoring_case(n.name, name)) {
            continue;
        }
        if (n.scope == sheet) {
            return &n;
        }
        if (n.scope < 0 && global == nullptr) {
            global = &n;
        }
    }
    return global;
}

Workbook read_workbook(const std::string& path) {
    Workbook book;
    book.path = path;
    book.file_name = std::filesystem::path(path).filename().string();
    Reader(book).read();
    return book;
}

}  // namespace standin::workbook
