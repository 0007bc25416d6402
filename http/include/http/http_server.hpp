#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace win32util {

class HttpTransport;

// A small HTTP listener on the loopback address: one serving thread takes requests one at a
// time, matches method and path exactly against the route table and sends the handler's answer
// as application/json. The platform's HTTP layer sits behind HttpTransport.
class HttpServer {
  public:
    struct Request {
        std::string method;
        std::u16string path;  // decoded, without the query string
        std::string body;
    };

    struct Response {
        std::uint16_t status = 200;
        std::string reason;
        std::string body;
    };

    using Handler = std::function<Response(const Request&)>;

    struct Route {
        std::string method;
        std::u16string path;
        Handler handler;
    };

    // Limits every transport keeps to.
    static constexpr std::size_t kHeadBufferSize = 65536;
    static constexpr std::size_t kBodyReadSize = 8192;
    static constexpr std::size_t kMaxBodySize = std::size_t{1} << 20;
    static constexpr unsigned kIdleTimeoutSeconds = 10;

    explicit HttpServer(std::uint16_t port);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    void AddRoute(std::string method, std::u16string path, Handler handler);

    // True when the server runs afterwards; on failure LastError() says why.
    bool Start();
    // Waits for the request in hand. Must not be called from a handler, nor while holding a
    // lock that a handler takes.
    void Stop();
    bool IsRunning() const { return running_.load(); }
    std::string LastError() const { return last_error_; }
    std::uint16_t Port() const { return port_; }

    // Route matching and the handler call, run by the transport on the serving thread. Never
    // throws: a handler's exception becomes a 500 answer.
    Response Dispatch(const Request& request) const;

  private:
    std::uint16_t port_;
    std::unique_ptr<HttpTransport> transport_;
    std::atomic<bool> running_{false};
    mutable std::mutex route_lock_;
    std::vector<Route> routes_;
    std::string last_error_;
};

}  // namespace win32util
