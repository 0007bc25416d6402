#include "workbook/write.hpp"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "host/value.hpp"
#include "text/utf.hpp"
#include "workbook/formula.hpp"
#include "xml.hpp"

namespace standin::workbook {

namespace {

// Parts are edited keeping what they hold: comments, processing instructions, the
// declaration and the blanks between elements.
constexpr unsigned keep_everything = pugi::parse_default | pugi::parse_declaration |
                                     pugi::parse_ws_pcdata | pugi::parse_comments | pugi::parse_pi |
                                     pugi::parse_doctype;

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, std::size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

std::string saved(pugi::xml_document& doc) {
    // Written as UTF-8, whatever the part was read in.
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_declaration && n.attribute("encoding")) {
            n.attribute("encoding").set_value("UTF-8");
        }
    }
    StringWriter w;
    doc.save(w, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return std::move(w.text);
}

// The prefix the part uses for its elements ("x:" in "x:c"), for the elements added to it.
std::string prefix_of(const pugi::xml_node& n) {
    const std::string_view name = n.name();
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? "" : std::string(name.substr(0, colon + 1));
}

bool is_hex(char16_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A text as a cell stores it: characters XML cannot hold as _xHHHH_, and an "_x" that would
// read as such an escape with its underscore escaped.
std::string stored_text(const std::u16string& text) {
    std::u16string out;
    char buffer[8];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool looks_escaped = c == '_' && i + 6 < text.size() && text[i + 1] == 'x' &&
                                   is_hex(text[i + 2]) && is_hex(text[i + 3]) &&
                                   is_hex(text[i + 4]) && is_hex(text[i + 5]) && text[i + 6] == '_';
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0xFFFE || c == 0xFFFF || looks_escaped) {
            std::snprintf(buffer, sizeof buffer, "_x%04X_", static_cast<unsigned>(c));
            out.append(buffer, buffer + 7);
        } else {
            out += c;
        }
    }
    return qvl::text::utf16_to_utf8(out);
}

class SheetEditor {
  public:
    SheetEditor(pugi::xml_document& doc, const std::vector<StoredCell>& changes)
        : changes_(changes), applied_(changes.size(), false) {
        data_ = child_element(doc.document_element(), "sheetData");
        if (!data_) {
            pugi::xml_node root = doc.document_element();
            data_ = root.append_child((prefix_of(root) + "sheetData").c_str());
        }
        prefix_ = prefix_of(doc.document_element());
    }

    void apply() {
        walk([&](pugi::xml_node c, std::uint64_t key) {
            const auto it = find(key);
            if (it != changes_.end()) {
                set_value(c, it->value);
                applied_[static_cast<std::size_t>(it - changes_.begin())] = true;
            }
        });
        if (std::find(applied_.begin(), applied_.end(), false) == applied_.end()) {
            return;
        }
        // Cells of array ranges the file left out are added. Added cells carry their place,
        // so every row and cell gets its own first, lest an added one moves those after it.
        walk([&](pugi::xml_node c, std::uint64_t key) {
            if (!c.attribute("r")) {
                c.prepend_attribute("r").set_value(cell_name(key).c_str());
            }
        });
        for (auto& [number, row] : rows_) {
            if (!row.attribute("r")) {
                row.prepend_attribute("r").set_value(std::to_string(number + 1).c_str());
            }
        }
        std::map<std::int32_t, pugi::xml_node> rows = rows_;
        for (std::size_t i = 0; i < changes_.size(); ++i) {
            if (!applied_[i]) {
                insert(rows, changes_[i]);
            }
        }
    }

  private:
    std::vector<StoredCell>::const_iterator find(std::uint64_t key) const {
        // Of two changes to one cell (overlapping ranges) the later counts.
        auto it = std::upper_bound(changes_.begin(), changes_.end(), key,
                                   [](std::uint64_t k, const StoredCell& c) { return k < c.key; });
        return it != changes_.begin() && (it - 1)->key == key ? it - 1 : changes_.end();
    }

    static std::string cell_name(std::uint64_t key) {
        return column_letters(key_column(key)) + std::to_string(key_row(key) + 1);
    }

    // Calls visit(cell, key) for each cell, placed as the reader places it.
    template <typename Visit>
    void walk(Visit&& visit) {
        std::int32_t row = -1;
        rows_.clear();
        for (pugi::xml_node r = data_.first_child(); r; r = r.next_sibling()) {
            if (!is_element(r, "row")) {
                continue;
            }
            row = r.attribute("r") ? static_cast<std::int32_t>(r.attribute("r").as_llong() - 1)
                                   : row + 1;
            rows_.emplace(row, r);
            std::int32_t column = -1;
            for (pugi::xml_node c = r.first_child(); c; c = c.next_sibling()) {
                if (!is_element(c, "c")) {
                    continue;
                }
                std::int32_t cell_row = row;
                if (const pugi::xml_attribute place = c.attribute("r")) {
                    read_cell_name(place.value(), cell_row, column, "");
                } else {
                    ++column;
                }
                visit(c, cell_key(cell_row, column));
            }
        }
    }

    void insert(std::map<std::int32_t, pugi::xml_node>& rows, const StoredCell& change) {
        const std::int32_t number = key_row(change.key);
        auto it = rows.find(number);
        if (it == rows.end()) {
            const auto after = rows.upper_bound(number);
            pugi::xml_node row =
                after == rows.end()
                    ? data_.append_child((prefix_ + "row").c_str())
                    : data_.insert_child_before((prefix_ + "row").c_str(), after->second);
            row.append_attribute("r").set_value(std::to_string(number + 1).c_str());
            it = rows.emplace(number, row).first;
        }
        pugi::xml_node before;
        for (pugi::xml_node c = it->second.first_child(); c; c = c.next_sibling()) {
            std::int32_t row = 0, column = 0;
            if (is_element(c, "c") && read_cell_name(c.attribute("r").value(), row, column, "")) {
                if (column > key_column(change.key)) {
                    before = c;
                    break;
                }
            }
        }
        pugi::xml_node c = before ? it->second.insert_child_before((prefix_ + "c").c_str(), before)
                                  : it->second.append_child((prefix_ + "c").c_str());
        c.append_attribute("r").set_value(cell_name(change.key).c_str());
        set_value(c, change.value);
    }

    void set_value(pugi::xml_node c, const Value& value) {
        const std::string prefix = prefix_of(c);
        if (const pugi::xml_node is = child_element(c, "is")) {
            c.remove_child(is);
        }
        pugi::xml_node v = child_element(c, "v");
        if (!v) {
            // A cell's parts come in the order f, v, is, extLst.
            const pugi::xml_node f = child_element(c, "f");
            v = f ? c.insert_child_after((prefix + "v").c_str(), f)
                  : c.prepend_child((prefix + "v").c_str());
        }
        while (v.first_child()) {
            v.remove_child(v.first_child());
        }
        pugi::xml_attribute type = c.attribute("t");
        if (!type) {
            type = c.append_attribute("t");
        }
        const std::string text = [&]() -> std::string {
            switch (value.kind()) {
                case Value::Kind::number:
                    if (std::isfinite(value.number())) {
                        c.remove_attribute(type);
                        return number_text(value.number());
                    }
                    type.set_value("e");
                    return "#NUM!";
                case Value::Kind::text:
                    type.set_value("str");
                    return stored_text(value.text16());
                case Value::Kind::boolean:
                    type.set_value("b");
                    return value.boolean() ? "1" : "0";
                case Value::Kind::error:
                    type.set_value("e");
                    return error_text_of(value.error_code());
                default:  // filled ranges hold no empty values or grids
                    type.set_value("n");
                    return "0";
            }
        }();
        v.append_child(pugi::node_pcdata).set_value(text.c_str());
    }

    const std::vector<StoredCell>& changes_;
    std::vector<bool> applied_;
    pugi::xml_node data_;
    std::string prefix_;
    std::map<std::int32_t, pugi::xml_node> rows_;
};

void ask_full_calculation(pugi::xml_document& doc) {
    pugi::xml_node root = doc.document_element();
    pugi::xml_node calc = child_element(root, "calcPr");
    if (!calc) {
        // Its place among the workbook's parts: before all of these that are present.
        pugi::xml_node before;
        for (pugi::xml_node n = root.first_child(); n && !before; n = n.next_sibling()) {
            for (const char* later :
                 {"oleSize", "customWorkbookViews", "pivotCaches", "smartTagPr", "smartTagTypes",
                  "webPublishing", "fileRecoveryPr", "webPublishObjects", "extLst"}) {
                if (is_element(n, later)) {
                    before = n;
                    break;
                }
            }
        }
        const std::string name = prefix_of(root) + "calcPr";
        calc = before ? root.insert_child_before(name.c_str(), before)
                      : root.append_child(name.c_str());
    }
    pugi::xml_attribute full = calc.attribute("fullCalcOnLoad");
    (full ? full : calc.append_attribute("fullCalcOnLoad")).set_value("1");
}

[[noreturn]] void cannot_write(const std::string& out, const std::string& why) {
    throw std::runtime_error("cannot write " + out + ": " + why);
}

zip_int64_t locate(zip_t* zip, const std::string& part) {
    const zip_int64_t index = zip_name_locate(zip, part.c_str(), 0);
    return index >= 0 ? index : zip_name_locate(zip, part.c_str(), ZIP_FL_NOCASE);
}

}  // namespace

std::string number_text(double d) {
    if (d == 0) {
        return "0";
    }
    // In capitals ("%G"), as the host writes an exponent: 1E-3.
    std::string text = shortest_number_text(d);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

void write_copy(const Workbook& book, const std::vector<std::vector<StoredCell>>& changes,
                const std::string& out) {
    Package package(book.path);
    std::vector<std::pair<std::string, std::string>> parts;
    for (std::size_t s = 0; s < book.sheets.size() && s < changes.size(); ++s) {
        if (changes[s].empty() || book.sheets[s].part.empty()) {
            continue;
        }
        const std::string& part = book.sheets[s].part;
        std::string text = package.read(part);
        pugi::xml_document doc;
        parse_part(doc, text, book.path, part, keep_everything);
        SheetEditor(doc, changes[s]).apply();
        parts.emplace_back(part, saved(doc));
    }
    {
        std::string text = package.read(book.workbook_part);
        pugi::xml_document doc;
        parse_part(doc, text, book.path, book.workbook_part, keep_everything);
        ask_full_calculation(doc);
        parts.emplace_back(book.workbook_part, saved(doc));
    }

    // The copy starts as the file itself, so libzip carries every other entry over as it is,
    // compressed bytes included; it is renamed into place only once complete.
    const std::string partial = out + ".partial";
    std::error_code ec;
    std::filesystem::copy_file(book.path, partial,
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        cannot_write(out, ec.message());
    }
    int error = 0;
    zip_t* zip = zip_open(partial.c_str(), 0, &error);
    if (zip == nullptr) {
        std::filesystem::remove(partial, ec);
        cannot_write(out, "the copy does not open as a zip");
    }
    for (const auto& [part, bytes] : parts) {
        zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        const zip_int64_t index = locate(zip, part);
        if (source == nullptr || index < 0 ||
            zip_file_replace(zip, static_cast<zip_uint64_t>(index), source, 0) != 0) {
            const std::string why = zip_strerror(zip);
            if (source != nullptr) {
                zip_source_free(source);
            }
            zip_discard(zip);
            std::filesystem::remove(partial, ec);
            cannot_write(out, "replacing " + part + ": " + why);
        }
    }
    if (zip_close(zip) != 0) {
        const std::string why = zip_strerror(zip);
        zip_discard(zip);
        std::filesystem::remove(partial, ec);
        cannot_write(out, why);
    }
    std::filesystem::rename(partial, out, ec);
    if (ec) {
        std::filesystem::remove(partial, ec);
        cannot_write(out, ec.message());
    }
}

}  // namespace standin::workbook
