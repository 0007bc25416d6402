#pragma once

// What the reader and the writer of workbook parts share: elements found by their local name
// (writers differ in the namespace prefixes they use), relationship parts, and parsing a part
// with the file named in any fault.

#include <map>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "workbook/workbook.hpp"

namespace standin::workbook {

inline std::string_view local_name(std::string_view name) {
    const auto colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

inline bool is_element(const pugi::xml_node& n, std::string_view local) {
    return n.type() == pugi::node_element && local_name(n.name()) == local;
}

inline pugi::xml_node child_element(const pugi::xml_node& parent, std::string_view local) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (is_element(c, local)) {
            return c;
        }
    }
    return {};
}

// Parses a part held in text (which must outlive the document). Throws BadFile.
inline void parse_part(pugi::xml_document& doc, std::string& text, const std::string& file,
                       const std::string& part, unsigned options) {
    const pugi::xml_parse_result parsed =
        doc.load_buffer_inplace(text.data(), text.size(), options, pugi::encoding_auto);
    if (!parsed) {
        throw BadFile(file + ": " + part + ": the XML does not parse (" + parsed.description() +
                      " at byte " + std::to_string(parsed.offset) + ")");
    }
}

// "xl/_rels/workbook.xml.rels" for "xl/workbook.xml".
inline std::string relationships_part(std::string_view part) {
    const auto slash = part.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : part.substr(0, slash + 1);
    const std::string_view name = slash == std::string_view::npos ? part : part.substr(slash + 1);
    return std::string(folder) + "_rels/" + std::string(name) + ".rels";
}

struct Relationship {
    std::string type;    // the type's last path segment: "worksheet", "sharedStrings", ...
    std::string target;  // the part it leads to, resolved; empty for an external target
};

}  // namespace standin::workbook
