#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Reads lines typed at a terminal: with line editing, history and tab completion where the
// build found libedit, else plainly from stdin.
class LineEditor {
  public:
    using Completer = std::function<std::vector<std::string>(std::string_view prefix)>;

    explicit LineEditor(Completer complete);
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // The next line without its line break, or nothing at the end of input.
    std::optional<std::string> read(const char* prompt);
};

}  // namespace standin
