#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace win32util {

class HttpTransport;

// A small HTTP listener on the loopback address. The listener's thread takes connections, reads
// requests, matches method and path exactly against the route table and sends the answers as
// application/json; it never waits for a calculation. Handlers that do calculate run on one
// worker thread, one at a time in arrival order. The platform's HTTP layer sits behind
// HttpTransport.
class HttpServer {
  public:
    struct Request {
        std::string method;
        std::u16string path;  // decoded, without the query string
        std::string body;
        // A handler that cannot start its work by then (it waits for a lock) answers busy().
        std::chrono::steady_clock::time_point deadline =
            std::chrono::steady_clock::time_point::max();
    };

    struct Response {
        std::uint16_t status = 200;
        std::string reason;
        std::string body;
        unsigned retry_after = 0;  // seconds, sent as Retry-After when not 0
    };

    using Handler = std::function<Response(const Request&)>;

    // Where a route's handler runs: on the worker, after the calls that came before it (every
    // handler that takes the calculation lock), or at once on the listener's thread (a handler
    // that never waits for anything).
    enum class Runs { on_worker, at_once };

    struct Route {
        std::string method;
        std::u16string path;
        Handler handler;
        Runs runs = Runs::on_worker;
    };

    // Limits every transport keeps to.
    static constexpr std::size_t head_buffer_size = 65536;
    static constexpr std::size_t body_read_size = 8192;
    static constexpr std::size_t max_body_size = std::size_t{1} << 20;
    static constexpr unsigned idle_timeout_seconds = 10;
    // Open connections (requests in hand, on Windows); a newcomer beyond them is answered 503.
    static constexpr std::size_t max_connections = 2048;
    // Request bytes (head, body and read buffer) a connection may hold on its own; what it holds
    // beyond that comes out of one budget shared by all connections, and a request that finds
    // the budget spent is answered 503. Ordinary requests never reach into the budget.
    static constexpr std::size_t connection_allowance = 16384;
    static constexpr std::size_t shared_request_bytes = std::size_t{64} << 20;
    // How long a request may wait for the worker and the calculation lock; one that waited
    // longer is answered 503 and its work is never started.
    static constexpr std::chrono::seconds queue_wait{10};
    // The Retry-After of every 503 answer.
    static constexpr unsigned retry_after_seconds = 5;

    explicit HttpServer(std::uint16_t port);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    void AddRoute(std::string method, std::u16string path, Handler handler,
                  Runs runs = Runs::on_worker);
    // The longest wait for the worker (queue_wait unless set); for tests, set before Start.
    void set_queue_wait(std::chrono::milliseconds wait) { queue_wait_ = wait; }
    // The caps on connections and on the shared request bytes (max_connections and
    // shared_request_bytes unless set); for tests, set before Start.
    struct Caps {
        std::size_t connections;
        std::size_t request_bytes;
    };
    void set_caps(Caps caps) { caps_ = caps; }
    const Caps& caps() const { return caps_; }

    // True when the server runs afterwards; on failure LastError() says why.
    bool Start();
    // Waits for the request in hand. Must not be called from a handler, nor while holding a
    // lock that a handler takes. Returns what the platform's HTTP layer kept and stopping had to
    // leave behind, for the log; empty when everything was released.
    std::string Stop();
    bool IsRunning() const { return running_.load(); }
    std::string LastError() const { return last_error_; }
    std::uint16_t port() const { return port_; }

    // What follows is for the transports.

    // A request handed to the worker.
    struct Call {
        Request request;
        Handler handler;
        std::function<void(Response)> done;
        std::chrono::steady_clock::time_point deadline;
    };

    // What Dispatch gives: the answer, or the call the worker will answer.
    struct Dispatched {
        std::optional<Response> answer;
        std::shared_ptr<const Call> call;
    };

    // Route matching, run on the listener's thread. A handler that runs at once is called here
    // and its answer given back; otherwise the request joins the worker's queue, and done is
    // called on the worker's thread with the answer, unless Withdraw takes the call back first.
    // The transport answers busy() when the call is still waiting at its deadline. Never
    // throws for a handler: a handler's exception becomes a 500 answer.
    Dispatched dispatch(Request request, std::function<void(Response)> done);

    // Takes a call that has waited too long out of the queue: true when the worker had not
    // started it (it never will), false when it has (its answer follows through done).
    bool withdraw(const std::shared_ptr<const Call>& call);

    // The worker's loop, run on a thread the transport starts: takes the calls one at a time
    // in arrival order until end_calls. A call that waited past its deadline is answered busy()
    // instead of being run.
    void work_calls();
    // Lets work_calls end after the call in hand and drops the calls still waiting, unanswered.
    void end_calls();

    // The answer to a request that waited too long for the worker.
    static Response busy();

  private:
    Response run(const Handler& handler, const Request& request) const;

    std::uint16_t port_;
    std::unique_ptr<HttpTransport> transport_;
    std::atomic<bool> running_{false};
    mutable std::mutex route_lock_;
    std::vector<Route> routes_;
    std::string last_error_;
    std::chrono::milliseconds queue_wait_{queue_wait};
    Caps caps_{max_connections, shared_request_bytes};

    std::mutex calls_lock_;
    std::condition_variable calls_ready_;
    std::deque<std::shared_ptr<const Call>> calls_;
    bool calls_open_ = false;
};

}  // namespace win32util
