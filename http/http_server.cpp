#include "http/http_server.hpp"

#include <algorithm>
#include <exception>
#include <utility>

#include "http/http_transport.hpp"

namespace win32util {

HttpServer::HttpServer(std::uint16_t port) : port_(port) {}

HttpServer::~HttpServer() {
    Stop();
}

void HttpServer::AddRoute(std::string method, std::u16string path, Handler handler, Runs runs) {
    std::lock_guard<std::mutex> lock(route_lock_);
    routes_.push_back(Route{std::move(method), std::move(path), std::move(handler), runs});
}

bool HttpServer::Start() {
    if (running_.load()) return true;
    {
        std::lock_guard<std::mutex> lock(calls_lock_);
        calls_open_ = true;
    }
    auto transport = make_http_transport(*this);
    std::string error;
    if (!transport->Open(port_, error)) {
        last_error_ = std::move(error);
        return false;
    }
    transport_ = std::move(transport);
    running_ = true;
    return true;
}

std::string HttpServer::Stop() {
    if (!running_.exchange(false) || !transport_) return {};
    std::string left = transport_->Close();
    transport_.reset();
    return left;
}

HttpServer::Dispatched HttpServer::dispatch(Request request, std::function<void(Response)> done) {
    try {
        Handler handler;
        Runs runs = Runs::at_once;
        {
            std::lock_guard<std::mutex> lock(route_lock_);
            for (const Route& route : routes_) {
                if (route.method == request.method && route.path == request.path) {
                    handler = route.handler;
                    runs = route.runs;
                    break;
                }
            }
        }
        if (!handler) return {Response{404, "Not Found", R"({"error":"not found"})"}, nullptr};
        if (runs == Runs::at_once) return {run(handler, request), nullptr};
        request.deadline = std::chrono::steady_clock::now() + queue_wait_;
        const auto deadline = request.deadline;
        auto call = std::make_shared<const Call>(
            Call{std::move(request), std::move(handler), std::move(done), deadline});
        {
            std::lock_guard<std::mutex> lock(calls_lock_);
            // Stopping: the transport closes the connection with the rest.
            if (!calls_open_)
                return {listener_error(503, "Service Unavailable", "stopping"), nullptr};
            calls_.push_back(call);
        }
        calls_ready_.notify_one();
        return {std::nullopt, std::move(call)};
    } catch (...) {
        return {listener_error(500, "Internal Server Error", "Unknown error"), nullptr};
    }
}

bool HttpServer::withdraw(const std::shared_ptr<const Call>& call) {
    std::lock_guard<std::mutex> lock(calls_lock_);
    const auto it = std::find(calls_.begin(), calls_.end(), call);
    if (it == calls_.end()) return false;
    calls_.erase(it);
    return true;
}

void HttpServer::work_calls() {
    std::unique_lock<std::mutex> lock(calls_lock_);
    for (;;) {
        calls_ready_.wait(lock, [this] { return !calls_open_ || !calls_.empty(); });
        if (!calls_open_) return;
        std::shared_ptr<const Call> call = std::move(calls_.front());
        calls_.pop_front();
        lock.unlock();
        // Checked here as well as by the transport's timer, which may fire late: a call that
        // waited too long is never started.
        const bool late = std::chrono::steady_clock::now() > call->deadline;
        try {
            call->done(late ? busy() : run(call->handler, call->request));
        } catch (...) {
            // Out of memory handing the answer over; the client sees its connection end.
        }
        call.reset();
        lock.lock();
    }
}

void HttpServer::end_calls() {
    std::deque<std::shared_ptr<const Call>> dropped;
    {
        std::lock_guard<std::mutex> lock(calls_lock_);
        calls_open_ = false;
        dropped.swap(calls_);
    }
    calls_ready_.notify_all();
}

HttpServer::Response HttpServer::busy() {
    return listener_error(503, "Service Unavailable", "server busy");
}

HttpServer::Response HttpServer::run(const Handler& handler, const Request& request) const {
    try {
        return handler(request);
    } catch (...) {
        // Handlers answer their own failures; this only keeps the thread alive.
        return listener_error(500, "Internal Server Error", "Unknown error");
    }
}

HttpServer::Response listener_error(std::uint16_t status, std::string_view reason,
                                    std::string_view message) {
    std::string body = R"({"error":")";
    body.append(message);
    body += "\"}";
    HttpServer::Response response{status, std::string(reason), std::move(body)};
    if (status == 503) response.retry_after = HttpServer::retry_after_seconds;
    return response;
}

}  // namespace win32util
