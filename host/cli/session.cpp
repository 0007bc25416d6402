#include "cli/session.hpp"

#include <algorithm>
#include <cctype>
#include <optional>

#include "cli/csv.hpp"

namespace standin {

namespace {

bool same_text_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trim_blanks(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return "";
    }
    return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

const char* const overview =
    "Formulas, one per line:\n"
    "  name = QVL.Function(arg, ...)    or a bare QVL.Function(arg, ...)\n"
    "Arguments: numbers (200, -1.5e3), \"texts\" (\"\" inside for a quote), TRUE, FALSE,\n"
    "  nothing for an omitted argument (f(a, , c)), names of earlier results, nested calls,\n"
    "  csv(\"file.csv\") for a range read from a CSV file, csv(\"file.csv\", \"A3:E9\") for a\n"
    "  rectangle of it.\n"
    "A named line is a cell of its own: running it again replaces the objects it made before\n"
    "  (their handles then answer \"not found\"); objects of unnamed lines stay until\n"
    "  QVL.ClearCache.\n"
    "# starts a comment. help QVL.Function shows its arguments; quit (or Ctrl-D) ends.\n"
    "\n"
    "Functions:\n";

}  // namespace

std::vector<std::string> argument_names(const Registration& reg) {
    std::vector<std::string> names;
    if (reg.argument_text.empty()) {
        return names;
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = reg.argument_text.find(',', from);
        names.push_back(
            trim_blanks(std::string_view(reg.argument_text).substr(from, comma - from)));
        if (comma == std::string::npos) {
            return names;
        }
        from = comma + 1;
    }
}

Session::Session(Host& host, std::filesystem::path folder)
    : host_(host), folder_(std::move(folder)) {}

const Registration* Session::resolve(std::string_view function_text) const {
    if (const Registration* exact = host_.find(function_text)) {
        return exact;
    }
    for (const Registration& reg : host_.registrations()) {
        if (same_text_ignoring_case(reg.function_text, function_text)) {
            return &reg;
        }
    }
    return nullptr;
}

Value Session::run(const Statement& statement) {
    // A named line is a cell of its own, keyed by the name, so running it again replaces what it
    // made before, the way a recalculated cell does; an unnamed line has no cell.
    std::optional<Cell> cell;
    if (!statement.name.empty()) {
        auto [it, added] = cells_.try_emplace(statement.name);
        if (added) {
            it->second.row = static_cast<RW>(cells_.size() - 1);
        }
        cell = it->second;
    }
    struct Restore {
        Host& host;
        std::optional<Cell> previous;
        ~Restore() { host.set_caller(std::move(previous)); }
    } restore{host_, host_.caller()};
    host_.set_caller(std::move(cell));
    Value result = evaluate(statement.expr);
    if (!statement.name.empty()) {
        names_[statement.name] = result;
    }
    return result;
}

Value Session::evaluate(const Expr& expr) {
    switch (expr.kind) {
        case Expr::Kind::number:
            return Value(expr.number);
        case Expr::Kind::text:
            return Value(expr.text);
        case Expr::Kind::boolean:
            return Value::boolean(expr.boolean);
        case Expr::Kind::omitted:
            return Value::missing();
        case Expr::Kind::name: {
            const auto it = names_.find(expr.text);
            if (it == names_.end()) {
                throw ScriptError(expr.column, "no result is named " + expr.text);
            }
            return it->second;
        }
        case Expr::Kind::call:
            return same_text_ignoring_case(expr.text, "csv") ? csv(expr) : call(expr);
    }
    return Value();
}

Value Session::call(const Expr& expr) {
    const Registration* reg = resolve(expr.text);
    if (reg == nullptr) {
        throw ScriptError(expr.column, "no function " + expr.text + " is registered");
    }
    const std::size_t takes = reg->argument_codes.size();
    if (expr.args.size() > takes) {
        throw ScriptError(expr.args[takes].column, reg->function_text + " takes " +
                                                       std::to_string(takes) +
                                                       (takes == 1 ? " argument" : " arguments"));
    }
    std::vector<Value> args;
    args.reserve(expr.args.size());
    for (const Expr& arg : expr.args) {
        args.push_back(evaluate(arg));
    }
    if (reg->macro_type == xl_macro_command) {
        return Value(host_.run_command(reg->function_text));
    }
    try {
        return host_.call(reg->function_text, args);
    } catch (const std::invalid_argument& e) {
        // A value the host cannot pass, such as a text longer than a cell holds.
        throw ScriptError(expr.column, e.what());
    }
}

Value Session::csv(const Expr& expr) {
    if (expr.args.empty() || expr.args.size() > 2) {
        throw ScriptError(expr.column,
                          "csv takes a file name and optionally a range: "
                          "csv(\"file.csv\", \"A3:E9\")");
    }
    const auto text_argument = [&](const Expr& arg, const char* what) {
        const Value v = evaluate(arg);
        if (!v.is_text()) {
            throw ScriptError(arg.column, std::string("csv wants ") + what + " as a text");
        }
        return v.text();
    };
    const std::filesystem::path file = text_argument(expr.args[0], "the file name");
    std::optional<CellRange> range;
    if (expr.args.size() == 2 && expr.args[1].kind != Expr::Kind::omitted) {
        try {
            range = parse_cell_range(text_argument(expr.args[1], "the range"));
        } catch (const std::invalid_argument& e) {
            throw ScriptError(expr.args[1].column, e.what());
        }
    }
    try {
        return read_csv((file.is_absolute() ? file : folder_ / file).string(), range);
    } catch (const std::runtime_error& e) {
        throw ScriptError(expr.column, e.what());
    }
}

std::string Session::signature(const Registration& reg) {
    if (reg.macro_type == xl_macro_command) {
        return reg.function_text + "()  [command]";
    }
    std::string s = reg.function_text + "(";
    const auto names = argument_names(reg);
    for (std::size_t i = 0; i < names.size(); ++i) {
        s += (i > 0 ? ", " : "") + names[i];
    }
    return s + ")";
}

std::string Session::list() const {
    std::string out;
    for (const Registration& reg : host_.registrations()) {
        out += signature(reg) + "\n";
    }
    return out;
}

std::string Session::help(std::string_view topic) const {
    if (topic.empty()) {
        std::string out = overview;
        for (const Registration& reg : host_.registrations()) {
            out += "  " + signature(reg) + "\n";
        }
        return out;
    }
    const Registration* reg = resolve(topic);
    if (reg == nullptr) {
        throw ScriptError(0, "no function " + std::string(topic) + " is registered");
    }
    std::string out = signature(*reg) + "\n";
    if (!reg->function_help.empty()) {
        out += "  " + reg->function_help + "\n";
    }
    const auto names = argument_names(*reg);
    std::size_t width = 0;
    for (const auto& n : names) {
        width = std::max(width, n.size());
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string line = "    " + names[i];
        if (i < reg->argument_help.size() && !reg->argument_help[i].empty()) {
            line += std::string(width - names[i].size() + 2, ' ') + reg->argument_help[i];
        }
        out += line + "\n";
    }
    return out;
}

std::vector<std::string> Session::completions(std::string_view prefix) const {
    std::vector<std::string> out;
    const auto offer = [&](const std::string& word) {
        if (word.size() >= prefix.size() &&
            same_text_ignoring_case(std::string_view(word).substr(0, prefix.size()), prefix)) {
            out.push_back(word);
        }
    };
    for (const Registration& reg : host_.registrations()) {
        offer(reg.function_text);
    }
    for (const auto& [name, value] : names_) {
        offer(name);
    }
    for (const char* word : {"csv", "help", "quit", "TRUE", "FALSE"}) {
        offer(word);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<std::string> Session::new_faults() {
    const auto& all = host_.faults();
    std::vector<std::string> out(all.begin() + static_cast<std::ptrdiff_t>(faults_seen_),
                                 all.end());
    faults_seen_ = all.size();
    return out;
}

}  // namespace standin
