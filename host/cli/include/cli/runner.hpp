#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "cli/session.hpp"
#include "host/value.hpp"

namespace standin {

// Where results and faults go: plain text for people or one JSON object per line for programs.
class Printer {
  public:
    explicit Printer(bool json) : json_(json) {}
    bool json() const { return json_; }

    // A result; source is echoed before it in text mode when echo is set.
    void result(int line, const std::string& name, const std::string& source, const Value& v,
                bool echo);
    // A blank or comment line, shown in a text transcript when echo is set.
    void layout(const std::string& comment, bool echo);
    void help(int line, const std::string& source, const std::string& text, bool echo);
    // A fault in a line: where (file, line, column, the line itself) and what.
    void error(const std::string& where, int line, int column, std::string_view text,
               const std::string& message);
    void warning(int line, const std::string& message);

  private:
    bool json_;
};

// Where lines come from: a script file, piped input or a terminal session.
struct LineSource {
    std::function<std::optional<std::string>()> next;
    std::string name;      // for messages: the script's path, or "<stdin>"
    bool echo = false;     // echo each formula before its result (scripts)
    bool session = false;  // a person at a terminal: faults never end the run
};

struct RunOutcome {
    int errors = 0;
    bool stopped = false;  // ended by a fault, not by the end of input or quit
};

// Runs every line through the session. A fault ends the run unless keep_going is set or the
// source is a terminal session.
RunOutcome run_lines(Session& session, LineSource& source, Printer& out, bool keep_going);

// After the script: QVL.HttpStart on the port, serving until SIGINT or SIGTERM, then
// QVL.HttpStop. The host's clock follows real time meanwhile, so that commands the add-in
// scheduled run. False when the service did not start.
bool serve(Host& host, Session& session, Printer& out, std::uint16_t port);

}  // namespace standin
