// The listener's Linux transport: Boost.Beast over one io_context run by one thread, so that
// every completion below runs on that one listener thread, one at a time; the handlers that
// calculate run on the worker's thread and hand their answers back to the listener's.
// Beast stays inside this file; it is heavy to compile.

// Every completion runs on the one thread, and what crosses threads (start, stop) goes through
// the context's own lock or the thread's start and join, so the library's memory fences around
// handlers add nothing; they are also beyond ThreadSanitizer's model.
#define BOOST_ASIO_DISABLE_FENCED_BLOCK

#include <sys/resource.h>
#include <sys/socket.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <array>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/status.hpp>
#include <boost/beast/http/string_body.hpp>
#include <charconv>
#include <chrono>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "http/http_transport.hpp"

namespace win32util {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using error_code = boost::system::error_code;

constexpr std::chrono::seconds idle_timeout{HttpServer::idle_timeout_seconds};
// How long a refused client may go on sending before its connection is dropped; reading what it
// sends meanwhile keeps the refusal from being destroyed by a reset on close.
constexpr std::chrono::seconds linger_time{5};
// The first read of a connection; the buffer grows as the reads need, up to the connection's
// allowance, and a longer head, chunk-size line or trailer section doubles it up to the head
// limit.
constexpr std::size_t first_read_size = HttpServer::body_read_size;
// Descriptors left to the rest of the process when its open-file limit caps the connections.
constexpr std::size_t spare_descriptors = 64;
// Refused connections read from until their client stops sending; beyond this many at once, a
// flood of them would keep the listener busy reading, and the rest are closed at once.
constexpr std::size_t max_lingering = 64;
// Accepts kept pending at once: a listener busy with many connections comes back to accepting
// only once per round of their completions, and takes this many connections then.
constexpr int acceptor_count = 16;

using Parser = http::request_parser<http::string_body>;

std::string_view view(beast::string_view text) {
    return {text.data(), text.size()};
}

// A malformed message, as opposed to a connection that closed, reset or timed out.
bool malformed(const error_code& ec) {
    return ec.category() == http::make_error_code(http::error::bad_method).category() &&
           ec != http::error::end_of_stream && ec != http::error::partial_message;
}

// What the screening reads of a parsed head.
RequestHead head_of(const Parser& parser) {
    const auto& head = parser.get();
    const auto field = [&](http::field name) { return view(head[name]); };
    return RequestHead{.http_1_0 = head.version() == 10,
                       .target = view(head.target()),
                       .origin = head.count(http::field::origin) > 0,
                       .hosts = head.count(http::field::host),
                       .host = field(http::field::host),
                       .lengths = head.count(http::field::content_length),
                       .length = field(http::field::content_length),
                       .codings = head.count(http::field::transfer_encoding),
                       .coding = field(http::field::transfer_encoding)};
}

// What the connections share: the server, the connection count and the budget of request
// bytes. Used on the listener's thread, and by the closing thread once that one has ended.
class Listener {
  public:
    explicit Listener(HttpServer& server) : server(server) {}

    HttpServer& server;
    std::size_t max_connections = server.caps().connections;
    std::size_t connections = 0;
    std::size_t lingering = 0;
    // Where the bytes a refused client still sends are read and dropped.
    std::array<char, 16384> scratch{};

    // Grants bytes of the shared budget; false, granting nothing, when it has not that many left.
    bool take(std::size_t bytes) {
        if (bytes > server.caps().request_bytes - used_) return false;
        used_ += bytes;
        peak_used_ = std::max(peak_used_, used_);
        return true;
    }
    void give(std::size_t bytes) {
        used_ -= bytes;
        settle();
    }
    void opened() {
        ++connections;
        peak_connections_ = std::max(peak_connections_, connections);
    }
    void closed() {
        --connections;
        settle();
    }

  private:
    // Once a crowd has gone, the memory it took goes back to the system; the allocator would
    // otherwise keep it for reuse.
    void settle() {
#ifdef __GLIBC__
        if (used_ == 0 && connections <= 8 &&
            (peak_used_ >= HttpServer::shared_request_bytes / 8 || peak_connections_ >= 256)) {
            peak_used_ = 0;
            peak_connections_ = connections;
            malloc_trim(0);
        }
#endif
    }

    std::size_t used_ = 0;
    std::size_t peak_used_ = 0;
    std::size_t peak_connections_ = 0;
};

HttpServer::Response too_large() {
    return listener_error(431, "Request Header Fields Too Large", "request head too large");
}

HttpServer::Response crowded() {
    return listener_error(503, "Service Unavailable", "too many request bytes in progress");
}

class Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(tcp::socket socket, Listener& listener)
        : stream_(std::move(socket)), listener_(listener), wait_(stream_.get_executor()) {
        listener_.opened();
        buffer_.max_size(HttpServer::connection_allowance);
    }
    ~Connection() {
        if (lingering_) --listener_.lingering;
        listener_.give(granted_);
        listener_.closed();
    }

    void start() {
        buffer_.reserve(first_read_size);
        read_head();
    }

    // A connection beyond the cap: answered 503 and closed.
    void turn_away() {
        send(listener_error(503, "Service Unavailable", "too many connections"), Close::at_once,
             false);
    }

  private:
    void read_head() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(HttpServer::head_buffer_size));
        // Sizes are judged once the whole head is in, after the checks that come first. (No
        // limit at all, an empty optional, compares as exceeded by every length.)
        parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
        head_size_ = 0;
        stream_.expires_after(idle_timeout);
        read_more_head();
    }

    void read_more_head() {
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](error_code ec, std::size_t size) {
                                    self->on_head(ec, size);
                                });
    }

    void on_head(error_code ec, std::size_t size) {
        // The parser takes the request line before the fields are in, so a head read in two
        // goes is counted in two.
        head_size_ += size;
        const std::size_t head_size = head_size_;
        if (ec == http::error::buffer_overflow) {
            if (auto refusal = grow_buffer(0)) return refuse(std::move(*refusal));
            return read_more_head();
        }
        // The parser limits the request line and the fields each on their own; the head as a
        // whole is measured here.
        if (ec == http::error::header_limit || (!ec && head_size > HttpServer::head_buffer_size)) {
            return refuse(too_large());
        }
        if (malformed(ec)) return refuse(listener_error(400, "Bad Request", "bad request"));
        if (ec) return;  // closed, reset or timed out: the connection goes
        if (auto refusal = screen(head_of(*parser_))) return refuse(std::move(*refusal));
        if (parser_->is_done()) return dispatch();
        parser_->body_limit(HttpServer::max_body_size);
        // A declared length is granted in full before any of it is read.
        if (!cover(buffer_.capacity() + parser_->content_length().value_or(0))) {
            return refuse(crowded());
        }
        const auto& head = parser_->get();
        if (head.version() == 11 &&
            beast::iequals(head[http::field::expect], beast::string_view("100-continue"))) {
            static constexpr std::string_view proceed = "HTTP/1.1 100 Continue\r\n\r\n";
            stream_.expires_after(idle_timeout);
            net::async_write(stream_, net::buffer(proceed.data(), proceed.size()),
                             [self = shared_from_this()](error_code e, std::size_t) {
                                 if (!e) self->read_body();
                             });
            return;
        }
        read_body();
    }

    void read_body() {
        // The whole body must arrive within the limit, however it is spread out.
        stream_.expires_after(idle_timeout);
        read_more_body();
    }

    void read_more_body() {
        http::async_read_some(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](error_code ec, std::size_t) { self->on_body(ec); });
    }

    void on_body(error_code ec) {
        if (ec == http::error::body_limit) {
            return refuse(listener_error(413, "Payload Too Large", "request body too large"));
        }
        if (ec == http::error::buffer_overflow) {
            if (auto refusal = grow_buffer(parser_->get().body().capacity())) {
                return refuse(std::move(*refusal));
            }
            return read_more_body();
        }
        if (malformed(ec)) return refuse(listener_error(400, "Bad Request", "bad request"));
        if (ec) return;
        // A chunked body has no declared length: it draws on the budget as it grows.
        if (!cover(buffer_.capacity() + parser_->get().body().capacity())) {
            return refuse(crowded());
        }
        if (!parser_->is_done()) return read_more_body();
        dispatch();
    }

    // The read buffer is full before a head, a chunk-size line or the trailers have ended: it
    // doubles, up to the head limit, and what it holds beyond the connection's own allowance
    // comes out of the shared budget. The refusal when it may not grow, or the budget cannot
    // cover it.
    std::optional<HttpServer::Response> grow_buffer(std::size_t body_bytes) {
        if (buffer_.max_size() >= HttpServer::head_buffer_size) return too_large();
        const std::size_t size = std::min(2 * buffer_.max_size(), HttpServer::head_buffer_size);
        if (!cover(size + body_bytes)) return crowded();
        buffer_.max_size(size);
        return std::nullopt;
    }

    // Brings the grant from the shared budget to what the connection holds beyond its own
    // allowance; false, leaving the grant as it was, when the budget cannot cover it.
    bool cover(std::size_t held) {
        const std::size_t need =
            held > HttpServer::connection_allowance ? held - HttpServer::connection_allowance : 0;
        if (need > granted_ && !listener_.take(need - granted_)) return false;
        if (need < granted_) listener_.give(granted_ - need);
        granted_ = need;
        return true;
    }

    void dispatch() {
        auto& message = parser_->get();
        HttpServer::Request request{std::string(view(message.method_string())),
                                    decode_path(view(message.target())), std::move(message.body())};
        const bool keep_alive = message.keep_alive();
        head_only_ = message.method() == http::verb::head;
        const bool old_client = message.version() == 10;
        close_ = keep_alive ? (old_client ? Close::announce_keep : Close::no) : Close::after;
        parser_.reset();
        // The worker hands the answer back to this thread, and with it its hold on the
        // connection, so that the connection always ends on this thread.
        auto done = [self = shared_from_this(),
                     ex = stream_.get_executor()](HttpServer::Response answer) mutable {
            net::post(ex, [self = std::move(self), answer = std::move(answer)]() mutable {
                self->on_answer(std::move(answer));
            });
        };
        auto dispatched = listener_.server.dispatch(std::move(request), std::move(done));
        if (dispatched.answer) return send(std::move(*dispatched.answer), close_, head_only_);
        call_ = dispatched.call;
        waiting_ = true;
        wait_.expires_at(dispatched.call->deadline);
        wait_.async_wait([self = shared_from_this()](error_code e) { self->on_waited(e); });
    }

    void on_answer(HttpServer::Response answer) {
        if (!waiting_) return;
        waiting_ = false;
        wait_.cancel();
        send(std::move(answer), close_, head_only_);
    }

    // The call's deadline: unless the worker has taken it up, it is answered busy here.
    void on_waited(error_code ec) {
        if (ec || !waiting_) return;
        const auto call = call_.lock();
        if (!call || !listener_.server.withdraw(call)) return;
        waiting_ = false;
        send(HttpServer::busy(), close_, head_only_);
    }

    enum class Close { no, announce_keep, after, linger, at_once };

    void refuse(HttpServer::Response refusal) {
        parser_.reset();
        // What the refused client still sends goes to the shared scratch buffer.
        buffer_ = beast::flat_buffer();
        cover(0);
        lingering_ = listener_.lingering < max_lingering;
        if (lingering_) ++listener_.lingering;
        send(std::move(refusal), lingering_ ? Close::linger : Close::at_once, false);
    }

    void send(HttpServer::Response response, Close close, bool head_only) {
        std::string_view reason = response.reason;
        if (reason.empty())
            reason = view(http::obsolete_reason(http::int_to_status(response.status)));
        char number[24];
        head_.assign("HTTP/1.1 ");
        const int status = response.status % 1000;
        head_ += static_cast<char>('0' + status / 100);
        head_ += static_cast<char>('0' + status / 10 % 10);
        head_ += static_cast<char>('0' + status % 10);
        head_ += ' ';
        for (const char c : reason) head_ += (c == '\r' || c == '\n') ? ' ' : c;
        head_ += "\r\nContent-Type: application/json\r\nContent-Length: ";
        head_.append(number,
                     std::to_chars(number, number + sizeof number, response.body.size()).ptr);
        if (response.retry_after != 0) {
            head_ += "\r\nRetry-After: ";
            head_.append(number,
                         std::to_chars(number, number + sizeof number, response.retry_after).ptr);
        }
        if (close == Close::announce_keep) head_ += "\r\nConnection: keep-alive";
        if (close == Close::after || close == Close::linger || close == Close::at_once)
            head_ += "\r\nConnection: close";
        head_ += "\r\n\r\n";
        body_ = std::move(response.body);
        if (head_only) body_.clear();

        const std::array<net::const_buffer, 2> pieces{net::buffer(head_), net::buffer(body_)};
        stream_.expires_after(idle_timeout);
        net::async_write(stream_, pieces,
                         [self = shared_from_this(), close](error_code ec, std::size_t) {
                             self->on_sent(ec, close);
                         });
    }

    void on_sent(error_code ec, Close close) {
        if (ec) return;
        std::string().swap(body_);
        if (close == Close::no || close == Close::announce_keep) {
            // What a large request took is given back before the next one.
            if (buffer_.capacity() > first_read_size) buffer_.shrink_to_fit();
            buffer_.max_size(std::max(HttpServer::connection_allowance, buffer_.size()));
            cover(buffer_.capacity());
            return read_head();
        }
        if (close == Close::after) return;  // the last owner closes the socket
        stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
        if (close == Close::at_once) {
            // What the client sent already is read first: closing on unread bytes would reset
            // the connection and could destroy the answer on its way.
            auto& socket = stream_.socket();
            socket.non_blocking(true, ec);
            for (int i = 0; i < 4 && !ec && socket.read_some(net::buffer(listener_.scratch), ec);
                 ++i) {
            }
            return;
        }
        // What the client still sends is read and dropped until it closes, so that closing
        // with unread bytes does not reset the connection before the refusal is read.
        stream_.expires_after(linger_time);
        drain();
    }

    void drain() {
        stream_.async_read_some(net::buffer(listener_.scratch),
                                [self = shared_from_this()](error_code ec, std::size_t) {
                                    if (!ec) self->drain();
                                });
    }

    beast::tcp_stream stream_;
    Listener& listener_;
    beast::flat_buffer buffer_;
    std::optional<Parser> parser_;
    std::size_t head_size_ = 0;
    std::size_t granted_ = 0;  // bytes of the shared budget this connection holds
    // The request handed to the worker, while its answer is awaited. Not owned: the call holds
    // this connection until it is answered or dropped.
    std::weak_ptr<const HttpServer::Call> call_;
    bool waiting_ = false;
    net::steady_timer wait_;
    Close close_ = Close::after;
    bool head_only_ = false;
    bool lingering_ = false;
    std::string head_;
    std::string body_;
};

class BeastTransport final : public HttpTransport {
  public:
    explicit BeastTransport(HttpServer& server) : server_(server), listener_(server) {}
    ~BeastTransport() override { Close(); }

    bool Open(std::uint16_t port, std::string& error) override;
    std::string Close() override;

  private:
    void accept();
    void on_accept(error_code ec, tcp::socket socket);
    void serve();

    HttpServer& server_;
    // Outlives the context, whose pending operations hold the connections.
    Listener listener_;
    std::optional<net::io_context> io_;
    std::optional<net::executor_work_guard<net::io_context::executor_type>> work_;
    std::optional<tcp::acceptor> acceptor_;
    std::optional<net::steady_timer> pause_;
    int paused_ = 0;  // accepts waiting for the pause to end
    std::thread thread_;
    std::thread worker_;
};

bool BeastTransport::Open(std::uint16_t port, std::string& error) {
    const std::string where = "127.0.0.1:" + std::to_string(port);
    if (port == 0) {
        // Port 0 would listen on a port nobody asked for.
        error = "bind " + where + ": port 0 is not allowed";
        return false;
    }
    // One thread runs the context, so the library needs no locks of its own.
    io_.emplace(1);
    acceptor_.emplace(*io_);
    const auto fail = [&](const std::string& step, const error_code& ec) {
        acceptor_.reset();
        io_.reset();
        error = step + ": " + ec.message();
        return false;
    };
    error_code ec;
    if (acceptor_->open(tcp::v4(), ec)) return fail("socket", ec);
    // Lets a restarted service take the port over from connections still in TIME_WAIT; a port
    // another socket is bound to stays refused.
    if (acceptor_->set_option(tcp::acceptor::reuse_address(true), ec)) {
        return fail("setsockopt " + where, ec);
    }
    if (acceptor_->bind(tcp::endpoint(net::ip::address_v4::loopback(), port), ec)) {
        return fail("bind " + where, ec);
    }
    if (acceptor_->listen(SOMAXCONN, ec)) return fail("listen " + where, ec);

    // Each connection holds a descriptor: a connection the open-file limit would not let in
    // is turned away like one beyond the cap, instead of waiting unanswered.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
        const auto limit = static_cast<std::size_t>(files.rlim_cur);
        listener_.max_connections =
            std::min(server_.caps().connections,
                     limit > 2 * spare_descriptors ? limit - spare_descriptors : limit / 2);
    }

    pause_.emplace(*io_);
    work_.emplace(io_->get_executor());
    for (int i = 0; i < acceptor_count; ++i) accept();
    worker_ = std::thread([this] { server_.work_calls(); });
    thread_ = std::thread([this] { serve(); });
    return true;
}

void BeastTransport::serve() {
    for (;;) {
        try {
            io_->run();
            return;
        } catch (...) {
            // Only allocation can throw here; the connection whose completion threw is gone
            // with it, and serving goes on.
        }
    }
}

void BeastTransport::accept() {
    acceptor_->async_accept(
        *io_, [this](error_code ec, tcp::socket socket) { on_accept(ec, std::move(socket)); });
}

void BeastTransport::on_accept(error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted) return;
    if (ec) {
        // Out of descriptors or memory: accepting again at once would spin.
        if (paused_++ == 0) {
            pause_->expires_after(std::chrono::milliseconds(50));
            pause_->async_wait([this](error_code e) {
                if (e) return;
                for (int n = std::exchange(paused_, 0); n > 0; --n) accept();
            });
        }
        return;
    }
    accept();
    const bool crowded = listener_.connections >= listener_.max_connections;
    const auto connection = std::make_shared<Connection>(std::move(socket), listener_);
    if (crowded) return connection->turn_away();
    connection->start();
}

std::string BeastTransport::Close() {
    if (!io_) return {};
    if (thread_.joinable()) {
        // The completion in hand runs to its end first.
        io_->stop();
        thread_.join();
    }
    // The call in hand runs to its end; its answer goes nowhere, as the calls still waiting.
    server_.end_calls();
    if (worker_.joinable()) worker_.join();
    // The connections live in their pending operations, which go with the context.
    work_.reset();
    pause_.reset();
    acceptor_.reset();
    io_.reset();
    return {};
}

}  // namespace

std::unique_ptr<HttpTransport> make_http_transport(HttpServer& server) {
    return std::make_unique<BeastTransport>(server);
}

}  // namespace win32util
