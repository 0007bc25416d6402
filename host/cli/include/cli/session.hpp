#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cli/script.hpp"
#include "host/host.hpp"
#include "host/value.hpp"

namespace standin {

// Formulas of the script language evaluated against the functions an add-in registered with a
// Host, with the names given to earlier results.
class Session {
  public:
    // Relative CSV paths are read from folder.
    Session(Host& host, std::filesystem::path folder);

    // Evaluates a formula statement, gives its name (if any) the result and returns the result.
    // A named statement is calculated in its own cell (one per name), an unnamed one in none.
    // Throws ScriptError for an unknown name or function, a wrong argument count or an
    // unreadable CSV file; the add-in's own messages are results, not errors.
    Value run(const Statement& statement);
    Value evaluate(const Expr& expr);

    // The registration of a function or command, by its text in any case.
    const Registration* resolve(std::string_view function_text) const;

    // "QVL.CreateCurve(yc_date, OIS_Curve_Data)", a command marked as such.
    static std::string signature(const Registration& reg);
    // One signature per line, in registration order.
    std::string list() const;
    // The overview (empty topic) or a function's signature, help text and argument help.
    // Throws ScriptError for an unknown function.
    std::string help(std::string_view topic) const;

    // Function texts, names and words of the language that start with prefix, sorted.
    std::vector<std::string> completions(std::string_view prefix) const;

    // Breaches of the add-in protocol the host noticed since the last call.
    std::vector<std::string> new_faults();

    const std::map<std::string, Value>& names() const { return names_; }

  private:
    Value call(const Expr& expr);
    Value csv(const Expr& expr);

    Host& host_;
    std::filesystem::path folder_;
    std::map<std::string, Value> names_;
    std::map<std::string, Cell> cells_;  // the cell of each named line
    std::size_t faults_seen_ = 0;
};

// The argument names of a registration, from its argument text.
std::vector<std::string> argument_names(const Registration& reg);

}  // namespace standin
