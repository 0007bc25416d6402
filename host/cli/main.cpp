// qvl-host: loads an add-in (qvl.xll by default, the one beside this program) into the stand-in
// host and evaluates formulas on its registered functions, from a script or typed at a terminal;
// optionally serves the add-in's HTTP service afterwards.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/line_editor.hpp"
#include "cli/render.hpp"
#include "cli/runner.hpp"
#include "cli/session.hpp"
#include "cli/workbook_run.hpp"
#include "host/host.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int exit_script_error = 1;
constexpr int exit_usage = 2;

const char* const usage =
    "usage: qvl-host [options] [SCRIPT | -]\n"
    "       qvl-host [options] --workbook FILE.xlsx [--out COPY.xlsx]\n"
    "Loads qvl.xll and evaluates formulas, one per line, from SCRIPT, or typed in when no\n"
    "script is given (- reads them from standard input); or recalculates the QVL formulas of\n"
    "a workbook.\n"
    "\n"
    "  --addin PATH    the add-in to load (default: qvl.xll beside qvl-host)\n"
    "  --keep-going    go on after a faulty line (the exit status still reports it)\n"
    "  --json          results as JSON, one object per line\n"
    "  --list          list the registered functions with their arguments\n"
    "  --serve [PORT]  after the script, run QVL.HttpStart(PORT) (default 50080) and serve\n"
    "                  until Ctrl-C or SIGTERM, then QVL.HttpStop\n"
    "  --workbook FILE recalculate every formula of FILE that calls the add-in and show each\n"
    "                  recalculated cell or range (with --json one object per cell)\n"
    "  --out COPY      with --workbook: write a copy of FILE holding the recalculated values,\n"
    "                  which the spreadsheet recalculates fully when it opens it\n"
    "  -h, --help      this text\n"
    "\n"
    "Type help in a session for the formula language.\n";

struct Options {
    std::string addin;
    std::optional<std::string> script;
    bool keep_going = false;
    bool json = false;
    bool list = false;
    std::optional<std::uint16_t> serve_port;
    std::optional<std::string> workbook;
    std::optional<std::string> out;
};

[[noreturn]] void usage_error(const std::string& message) {
    std::cerr << "qvl-host: " << message << "\n" << usage;
    std::exit(exit_usage);
}

std::optional<std::uint16_t> port_of(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const long port = std::stol(text);
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(port);
}

Options parse_options(int argc, char** argv) {
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            std::cout << usage;
            std::exit(0);
        } else if (a == "--keep-going" || a == "-k") {
            o.keep_going = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--list") {
            o.list = true;
        } else if (a == "--addin" || a.rfind("--addin=", 0) == 0) {
            if (a == "--addin" && i + 1 >= args.size()) {
                usage_error("--addin needs a path");
            }
            o.addin = a == "--addin" ? args[++i] : a.substr(8);
        } else if (a == "--workbook" || a == "--out") {
            if (i + 1 >= args.size()) {
                usage_error(a + " needs a file");
            }
            (a == "--out" ? o.out : o.workbook) = args[++i];
        } else if (a == "--serve") {
            o.serve_port = 50080;
            // An optional port: the next argument when it is a number.
            if (i + 1 < args.size() && !args[i + 1].empty() &&
                args[i + 1].find_first_not_of("0123456789") == std::string::npos) {
                o.serve_port = port_of(args[++i]);
                if (!o.serve_port) {
                    usage_error("not a port: " + args[i]);
                }
            }
        } else if (a.rfind("--serve=", 0) == 0) {
            o.serve_port = port_of(a.substr(8));
            if (!o.serve_port) {
                usage_error("not a port: " + a.substr(8));
            }
        } else if (a.size() > 1 && a[0] == '-') {
            usage_error("unknown option " + a);
        } else if (o.script) {
            usage_error("one script at a time");
        } else {
            o.script = a;
        }
    }
    if (o.workbook && o.script) {
        usage_error("a script or a workbook, not both");
    }
    if (o.out && !o.workbook) {
        usage_error("--out needs --workbook");
    }
    return o;
}

// qvl.xll in the folder of this program.
fs::path addin_beside_program(const char* argv0) {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        self = fs::absolute(argv0, ec);
    }
    return self.parent_path() / "qvl.xll";
}

// Loads and opens the add-in; prints why not and gives false when it cannot be used.
bool load_addin(standin::Host& host, const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        std::cerr << "qvl-host: no add-in at " << path.string()
                  << "\n  build qvl.xll (cmake --build <build folder> --target qvl_xll), or name "
                     "one with --addin PATH\n";
        return false;
    }
    if (fs::is_directory(path, ec)) {
        std::cerr << "qvl-host: " << path.string() << " is a folder, not an add-in file\n";
        return false;
    }
    try {
        host.load(path.string());
    } catch (const std::exception& e) {
        std::cerr << "qvl-host: cannot load the add-in: " << e.what() << '\n';
        return false;
    }
    const int opened = host.open();
    if (host.registrations().empty()) {
        std::cerr << "qvl-host: " << path.string()
                  << " is not an add-in: it registered no functions\n";
        host.unload();
        return false;
    }
    for (const std::string& alert : host.alerts()) {
        std::cerr << "qvl-host: the add-in alerted: " << alert << '\n';
    }
    if (opened != 1) {
        std::cerr << "qvl-host: warning: xlAutoOpen reported a failure; going on with the "
                  << host.registrations().size() << " registered items\n";
    }
    return true;
}

std::function<std::optional<std::string>()> lines_of(std::istream& in) {
    return [&in]() -> std::optional<std::string> {
        std::string line;
        if (!std::getline(in, line)) {
            return std::nullopt;
        }
        return line;
    };
}

void list_functions(const standin::Session& session, const standin::Host& host,
                    standin::Printer& out) {
    if (!out.json()) {
        std::cout << session.list() << std::flush;
        return;
    }
    for (const standin::Registration& reg : host.registrations()) {
        std::string args;
        std::string helps;
        const auto names = standin::argument_names(reg);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (i > 0) {
                args += ',';
                helps += ',';
            }
            args += standin::json_string(names[i]);
            helps += standin::json_string(i < reg.argument_help.size() ? reg.argument_help[i] : "");
        }
        std::cout << "{\"function\":" << standin::json_string(reg.function_text)
                  << ",\"command\":" << (reg.macro_type == xl_macro_command ? "true" : "false")
                  << ",\"arguments\":[" << args << "],\"argument_help\":[" << helps
                  << "],\"help\":" << standin::json_string(reg.function_help) << "}\n";
    }
    std::cout << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse_options(argc, argv);
    const fs::path addin = fs::absolute(options.addin.empty() ? addin_beside_program(argv[0])
                                                              : fs::path(options.addin));

    // A workbook is read before the add-in is loaded, so that a bad file is told at once.
    std::optional<standin::workbook::Workbook> book;
    if (options.workbook) {
        try {
            book = standin::workbook::read_workbook(*options.workbook);
        } catch (const std::exception& e) {
            if (options.json) {
                std::cout << "{\"file\":" << standin::json_string(*options.workbook)
                          << ",\"error\":" << standin::json_string(e.what()) << "}\n";
            } else {
                std::cerr << "qvl-host: " << e.what() << '\n';
            }
            return exit_usage;
        }
    }

    // Lines come from the script, from a person at a terminal, or from piped input.
    const bool read_input = !book && (options.script || (!options.list && !options.serve_port));
    const bool from_stdin = !options.script || *options.script == "-";
    std::ifstream file;
    standin::LineSource source;
    fs::path folder;
    if (read_input && !from_stdin) {
        std::error_code ec;
        if (!fs::is_directory(*options.script, ec)) {
            file.open(*options.script);
        }
        if (!file.is_open()) {
            std::cerr << "qvl-host: cannot read the script " << *options.script << '\n';
            return exit_usage;
        }
        source.next = lines_of(file);
        source.name = *options.script;
        source.echo = true;
        folder = fs::path(*options.script).parent_path();
    } else if (read_input && ::isatty(STDIN_FILENO) && !options.json) {
        source.session = true;
    } else if (read_input) {
        source.next = lines_of(std::cin);
        source.name = "<stdin>";
    }

    standin::Host host;
    if (!load_addin(host, addin)) {
        return exit_usage;
    }
    standin::Session session(host, folder);
    standin::Printer out(options.json);
    if (options.list) {
        list_functions(session, host, out);
    }

    int status = 0;
    bool stopped = false;
    if (book) {
        const auto outcome = standin::run_workbook(host, out, *book, options.out);
        status = outcome.status;
        stopped = outcome.failed;
    }
    if (read_input) {
        std::optional<standin::LineEditor> editor;
        if (source.session) {
            std::cout << "qvl-host: " << addin.string() << " loaded, "
                      << host.registrations().size()
                      << " functions and commands. Type help, or quit to end.\n";
            editor.emplace(
                [&session](std::string_view prefix) { return session.completions(prefix); });
            source.next = [&editor]() { return editor->read("qvl> "); };
        }
        const auto outcome = standin::run_lines(session, source, out, options.keep_going);
        stopped = outcome.stopped;
        if (outcome.errors > 0 && !source.session) {
            status = exit_script_error;
        }
    }
    if (options.serve_port && !stopped &&
        !standin::serve(host, session, out, *options.serve_port)) {
        status = exit_script_error;
    }
    host.close();
    host.unload();
    return status;
}
