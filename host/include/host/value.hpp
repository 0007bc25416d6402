#pragma once

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace standin {

class Value;

struct Grid {
    int rows = 0;
    int columns = 0;
    std::vector<Value> cells;  // row-major
    bool operator==(const Grid& o) const;
};

// A cell value as the stand-in host keeps it: independent of the add-in's memory, so results
// stay valid after the add-in has reused or freed its own.
class Value {
  public:
    enum class Kind { nil, missing, number, text, boolean, error, grid };

    Value() = default;
    Value(double number) : v_(number) {}
    Value(int number) : v_(static_cast<double>(number)) {}
    Value(bool) = delete;  // Value::boolean, so that TRUE never slips in as the number 1
    Value(const char* utf8) : Value(std::string_view(utf8)) {}
    Value(std::string_view utf8);
    Value(const std::string& utf8) : Value(std::string_view(utf8)) {}

    static Value missing() { return Value(Tag::missing); }
    static Value boolean(bool b) { return Value(b, Tag::boolean); }
    static Value error(int code) { return Value(ErrorCode{code}); }
    static Value text16(std::u16string text) { return Value(std::move(text), Tag::text); }
    static Value grid(int rows, int columns, std::vector<Value> cells);

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool is_nil() const { return kind() == Kind::nil; }
    bool is_text() const { return kind() == Kind::text; }
    bool is_number() const { return kind() == Kind::number; }

    // Each throws std::logic_error when the value is of another kind.
    double number() const;
    std::string text() const;  // UTF-8
    const std::u16string& text16() const;
    bool boolean() const;
    int error_code() const;
    const Grid& grid() const;
    int rows() const;
    int columns() const;
    const Value& at(int r, int c) const;

    bool operator==(const Value& o) const;
    std::string describe() const;

  private:
    enum class Tag { missing, boolean, text };
    struct MissingTag {
        bool operator==(const MissingTag&) const { return true; }
    };
    struct ErrorCode {
        int code;
        bool operator==(const ErrorCode&) const = default;
    };
    explicit Value(Tag) : v_(MissingTag{}) {}
    Value(bool b, Tag) : v_(b) {}
    Value(std::u16string text, Tag) : v_(std::move(text)) {}
    explicit Value(ErrorCode e) : v_(e) {}

    std::variant<std::monostate, MissingTag, double, std::u16string, bool, ErrorCode, Grid> v_;
};

std::ostream& operator<<(std::ostream& os, const Value& v);

// The shortest "%g" text of a finite number that reads back as the same number (15 to 17
// significant digits).
std::string shortest_number_text(double d);

// The error values a cell can hold, each with the text a sheet shows for it ("#N/A").
struct ErrorValue {
    std::string_view text;
    int code;
};
std::span<const ErrorValue> error_values();
// The text a sheet shows for an error code; nothing for a code the host does not define.
std::optional<std::string_view> error_value_text(int code);

}  // namespace standin
