#include "cli/runner.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <iostream>

#include "cli/render.hpp"
#include "cli/script.hpp"

namespace standin {

namespace {

void json_line(const std::string& members) {
    std::cout << '{' << members << "}\n" << std::flush;
}

std::string line_member(int line) {
    return line > 0 ? "\"line\":" + std::to_string(line) + "," : "";
}

}  // namespace

void Printer::result(int line, const std::string& name, const std::string& source, const Value& v,
                     bool echo) {
    if (json_) {
        json_line(line_member(line) + (name.empty() ? "" : "\"name\":" + json_string(name) + ",") +
                  "\"formula\":" + json_string(source) + ",\"value\":" + render_json(v));
        return;
    }
    if (echo) {
        std::cout << "> " << source << '\n';
    }
    std::cout << render_text(v) << std::flush;
}

void Printer::layout(const std::string& comment, bool echo) {
    if (!json_ && echo) {
        std::cout << comment << '\n';
    }
}

void Printer::help(int line, const std::string& source, const std::string& text, bool echo) {
    if (json_) {
        json_line(line_member(line) + "\"help\":" + json_string(text));
        return;
    }
    if (echo) {
        std::cout << "> " << source << '\n';
    }
    std::cout << text << std::flush;
}

void Printer::error(const std::string& where, int line, int column, std::string_view text,
                    const std::string& message) {
    if (json_) {
        json_line((where.empty() ? "" : "\"file\":" + json_string(where) + ",") +
                  line_member(line) +
                  (column > 0 ? "\"column\":" + std::to_string(column) + "," : "") +
                  "\"error\":" + json_string(message));
        return;
    }
    std::cout.flush();
    std::string place;
    if (!where.empty()) {
        place = where + ":" + std::to_string(line) + ":" +
                (column > 0 ? std::to_string(column) + ":" : "") + " ";
    }
    std::cerr << place << "error: " << message << '\n';
    if (column > 0) {
        std::string shown(text);
        for (char& c : shown) {
            c = c == '\t' ? ' ' : c;
        }
        std::cerr << "  " << shown << "\n  "
                  << std::string(static_cast<std::size_t>(column - 1), ' ') << "^\n";
    }
    std::cerr.flush();
}

void Printer::warning(int line, const std::string& message) {
    if (json_) {
        json_line(line_member(line) + "\"warning\":" + json_string(message));
        return;
    }
    std::cout.flush();
    std::cerr << "warning: " << message << '\n' << std::flush;
}

RunOutcome run_lines(Session& session, LineSource& source, Printer& out, bool keep_going) {
    RunOutcome outcome;
    int number = 0;
    while (const auto line = source.next()) {
        ++number;
        try {
            const Statement st = parse_line(*line);
            switch (st.kind) {
                case Statement::Kind::empty:
                    // A script's layout and comments carry over into its transcript.
                    out.layout(st.source, source.echo);
                    continue;
                case Statement::Kind::quit:
                    return outcome;
                case Statement::Kind::help:
                    out.help(number, st.source, session.help(st.help_topic), source.echo);
                    break;
                case Statement::Kind::formula:
                    out.result(number, st.name, st.source, session.run(st), source.echo);
                    break;
            }
            for (const std::string& fault : session.new_faults()) {
                out.warning(number, "the add-in broke the host protocol: " + fault);
            }
        } catch (const ScriptError& e) {
            ++outcome.errors;
            out.error(source.name, number, e.column(), *line, e.what());
        } catch (const std::exception& e) {
            ++outcome.errors;
            out.error(source.name, number, 0, *line, e.what());
        }
        if (outcome.errors > 0 && !keep_going && !source.session) {
            outcome.stopped = true;
            return outcome;
        }
    }
    return outcome;
}

namespace {

// The signal handler only writes a byte; the serving loop waits for it.
int signal_pipe[2] = {-1, -1};

extern "C" void on_stop_signal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signal_pipe[1], &byte, 1);
    errno = saved;
}

// Installs the handlers for as long as it lives.
class StopSignals {
  public:
    StopSignals() {
        if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            throw std::runtime_error("cannot create the signal pipe");
        }
        struct sigaction action {};
        action.sa_handler = on_stop_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &old_int_);
        ::sigaction(SIGTERM, &action, &old_term_);
    }
    ~StopSignals() {
        ::sigaction(SIGINT, &old_int_, nullptr);
        ::sigaction(SIGTERM, &old_term_, nullptr);
        ::close(signal_pipe[0]);
        ::close(signal_pipe[1]);
        signal_pipe[0] = signal_pipe[1] = -1;
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Waits up to milliseconds; true once a stop signal came.
    bool wait(int milliseconds) const {
        pollfd p{signal_pipe[0], POLLIN, 0};
        return ::poll(&p, 1, milliseconds) > 0 && (p.revents & POLLIN);
    }

  private:
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};

}  // namespace

bool serve(Host& host, Session& session, Printer& out, std::uint16_t port) {
    const Registration* start = session.resolve("QVL.HttpStart");
    const Registration* stop = session.resolve("QVL.HttpStop");
    if (start == nullptr || stop == nullptr) {
        out.error("", 0, 0, "",
                  "this add-in registers no QVL.HttpStart and QVL.HttpStop: it cannot serve");
        return false;
    }
    const StopSignals signals;
    const std::string start_call = "QVL.HttpStart(" + std::to_string(port) + ")";
    const Value started = host.call(start->function_text, {Value(static_cast<double>(port))});
    out.result(0, "", start_call, started, true);
    const std::string running = "HTTP server running on port ";
    if (!started.is_text() || started.text().rfind(running, 0) != 0) {
        return false;
    }
    if (!out.json()) {
        std::cerr << "serving http://127.0.0.1:" << port << "/ until Ctrl-C or SIGTERM\n"
                  << std::flush;
    }
    using clock = std::chrono::steady_clock;
    auto last = clock::now();
    while (!signals.wait(500)) {
        const auto now = clock::now();
        host.advance(std::chrono::duration<double>(now - last).count());
        last = now;
    }
    out.result(0, "", "QVL.HttpStop()", host.call(stop->function_text), true);
    for (const std::string& fault : session.new_faults()) {
        out.warning(0, "the add-in broke the host protocol: " + fault);
    }
    return true;
}

}  // namespace standin
