#include "cli/line_editor.hpp"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>

#ifdef QVL_HAVE_LIBEDIT
#include <editline/readline.h>
#endif

namespace standin {

#ifdef QVL_HAVE_LIBEDIT

namespace {

// The completion callbacks of the C library carry no context, so the one editor keeps it here.
std::optional<LineEditor::Completer> active;
std::vector<std::string> candidates;
// Blanks, quotes and the punctuation of formulas end a word; the dot in QVL.Name does not.
char word_breaks[] = " \t\n\"\\'`@$><=;|&{(,)";

char* next_candidate(const char* prefix, int state) {
    static std::size_t next = 0;
    if (state == 0) {
        candidates = active ? (*active)(prefix) : std::vector<std::string>{};
        next = 0;
    }
    if (next >= candidates.size()) {
        return nullptr;
    }
    // The library frees what it is given.
    return strdup(candidates[next++].c_str());
}

char** complete(const char* text, int, int) {
    rl_attempted_completion_over = 1;       // no file names as a fallback
    rl_completion_append_character = '\0';  // a function name goes on with "(", not a blank
    return rl_completion_matches(text, next_candidate);
}

}  // namespace

LineEditor::LineEditor(Completer complete_with) {
    active = std::move(complete_with);
    rl_readline_name = const_cast<char*>("qvl-host");
    rl_completer_word_break_characters = word_breaks;
    rl_attempted_completion_function = complete;
    using_history();
}

LineEditor::~LineEditor() {
    rl_attempted_completion_function = nullptr;
    active.reset();
}

std::optional<std::string> LineEditor::read(const char* prompt) {
    char* line = readline(prompt);
    if (line == nullptr) {
        return std::nullopt;
    }
    std::string text(line);
    std::free(line);
    if (text.find_first_not_of(" \t") != std::string::npos) {
        add_history(text.c_str());
    }
    return text;
}

#else

LineEditor::LineEditor(Completer) {}

LineEditor::~LineEditor() = default;

std::optional<std::string> LineEditor::read(const char* prompt) {
    std::cout << prompt << std::flush;
    std::string text;
    if (!std::getline(std::cin, text)) {
        return std::nullopt;
    }
    return text;
}

#endif

}  // namespace standin
