// The Windows smoke test's host program: loads qvl.xll, drives it like a sheet and reports each
// step as a line "STEP\tTEXT" for smoke.py to check. While the service runs it takes commands on
// standard input until "stop": "held PORT CONNECTIONS REQUEST_BYTES", "open" and "drop" (a server
// of its own on the Windows transport, with those caps, whose calls wait until "open"), and
// "stalled-stop PORT" (the stop of a server with an operation that never completes). Everything
// runs on a thread Windows starts, at a real host's x87 precision.
// Usage: smoke_host ADDIN DATA_FOLDER PORT

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "cli/csv.hpp"
#include "host/host.hpp"
#include "host/value.hpp"
#include "http/http_server.hpp"
#include "http/http_transport.hpp"

namespace {

using standin::Host;
using standin::Value;
using win32util::HttpServer;
using Clock = std::chrono::steady_clock;

long long milliseconds_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A server whose calls, POST /hold, wait until the gate opens and then answer their body's
// size; calls in hand pile up meanwhile.
class HeldServer {
  public:
    HeldServer(std::uint16_t port, HttpServer::Caps caps) : server_(port) {
        server_.set_queue_wait(std::chrono::minutes(1));
        server_.set_caps(caps);
        server_.AddRoute("POST", u"/hold", [this](const HttpServer::Request& request) {
            std::unique_lock<std::mutex> lock(mutex_);
            opened_.wait(lock, [this] { return open_; });
            ++calls_;
            return HttpServer::Response{200, "OK", std::to_string(request.body.size())};
        });
    }
    ~HeldServer() { stop(); }
    bool start() { return server_.Start(); }
    std::string error() const { return server_.LastError(); }
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }
    // The calls that ran and what stopping left behind.
    std::string stop() {
        open();
        const std::string left = server_.Stop();
        return std::to_string(calls_) + '\t' + left;
    }

  private:
    HttpServer server_;
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
    int calls_ = 0;
};

std::string cell_text(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::number: {
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", v.number());
            return text;
        }
        case Value::Kind::text:
            return v.text();
        case Value::Kind::boolean:
            return v.boolean() ? "TRUE" : "FALSE";
        default:
            return v.describe();
    }
}

void report(const std::string& step, const std::string& text) {
    std::cout << step << '\t' << text << std::endl;
}

// The precision field of the calling thread's x87 control word, in significand bits.
int x87_precision() {
    unsigned short control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    constexpr int bits[] = {24, 0, 53, 64};
    return bits[(control >> 8) & 3];
}

int run(const std::string& addin, const std::string& data, const std::string& port) {
    Host host;
    host.load(addin);
    report("open", std::to_string(host.open()));
    for (const auto& r : host.registrations()) report("item", r.function_text + '\t' + r.procedure);
    report("status", host.status_bar().value_or(""));

    report("RunTests", cell_text(host.call("QVL.RunTests")));
    report("Version", cell_text(host.call("QVL.Version")));
    report("BuildDate", cell_text(host.call("QVL.BuildDate")));

    // The reference objects, from the example data.
    const auto csv = [&](const char* name) {
        return standin::read_csv(data + "/" + name, std::nullopt);
    };
    const Value curve = host.call("QVL.CreateCurve", {"2026-01-20", csv("curve.csv")});
    const Value series = host.call("QVL.CreateSeries", {1, csv("series.csv"), csv("factors.csv")});
    const Value swap =
        host.call("QVL.CreateSwap", {series, curve, Value::boolean(true), 200, 10000000});
    report("swap", cell_text(swap));
    const Value valuation = host.call("QVL.CalcFromEventRate", {swap, "2026-01-20", 200});
    if (valuation.kind() != Value::Kind::grid) throw std::runtime_error(cell_text(valuation));
    for (int r = 0; r < valuation.rows(); ++r) {
        report("valuation", cell_text(valuation.at(r, 0)) + '\t' + cell_text(valuation.at(r, 1)));
    }
    // The add-in leaves the caller's x87 state as it found it.
    report("x87-after", std::to_string(x87_precision()));

    report("HttpStart", cell_text(host.call("QVL.HttpStart", {std::stod(port)})));
    // A second start stops the first server and listens again on the same port.
    report("HttpRestart", cell_text(host.call("QVL.HttpStart", {std::stod(port)})));
    report("serving", port);
    std::unique_ptr<HeldServer> held;
    std::string line;
    while (std::getline(std::cin, line) && line != "stop") {
        if (line.rfind("held ", 0) == 0) {
            std::istringstream words(line.substr(5));
            int held_port = 0;
            HttpServer::Caps caps{};
            words >> held_port >> caps.connections >> caps.request_bytes;
            held = std::make_unique<HeldServer>(held_port, caps);
            report("held", held->start() ? "1" : held->error());
        } else if (line == "open" && held) {
            held->open();
            report("opened", "");
        } else if (line == "drop" && held) {
            report("dropped", held->stop());
            held.reset();
        } else if (line.rfind("stalled-stop ", 0) == 0) {
            const auto held_port = static_cast<std::uint16_t>(std::stoi(line.substr(13)));
            win32util::stall_operations_for_test(1);
            HttpServer stalled(held_port);
            const bool started = stalled.Start();
            const auto asked = Clock::now();
            const std::string left = started ? stalled.Stop() : stalled.LastError();
            report("stalled-stop", std::to_string(milliseconds_since(asked)) + '\t' + left);
            // What could be released was: the port can be listened on again.
            HttpServer again(held_port);
            report("restarted", again.Start() ? "1" : again.LastError());
        }
    }
    report("HttpStop", cell_text(host.call("QVL.HttpStop")));

    // Logging on now, so that closing writes its two lines into the log beside the add-in.
    report("ToggleLogging", std::to_string(host.run_command("cellkit.ToggleLogging")));
    report("close", std::to_string(host.close()));
    host.unload();
    report("faults", std::to_string(host.faults().size()));
    for (const std::string& f : host.faults()) report("fault", f);
    report("done", "");
    return 0;
}

struct SessionArguments {
    std::string addin, data, port;
    int result = 1;
};

DWORD WINAPI run_session(void* argument) {
    auto& session = *static_cast<SessionArguments*>(argument);
    report("x87", std::to_string(x87_precision()));
    try {
        session.result = run(session.addin, session.data, session.port);
    } catch (const std::exception& e) {
        report("error", e.what());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: smoke_host ADDIN DATA_FOLDER PORT\n";
        return 2;
    }
    // The program's start-up code sets this thread's x87 unit to 64-bit precision; a real host
    // loads and calls the add-in from threads Windows starts, at the 53 bits Windows gives
    // them. The whole session runs on such a thread.
    report("x87-main", std::to_string(x87_precision()));
    SessionArguments session{argv[1], argv[2], argv[3]};
    HANDLE thread = CreateThread(nullptr, 0, run_session, &session, 0, nullptr);
    if (thread == nullptr) {
        report("error", "CreateThread failed");
        return 1;
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return session.result;
}
