#include "http/http_server.hpp"

#include <exception>
#include <utility>

#include "http/http_transport.hpp"

namespace win32util {

HttpServer::HttpServer(std::uint16_t port) : port_(port) {}

HttpServer::~HttpServer() {
    Stop();
}

void HttpServer::AddRoute(std::string method, std::u16string path, Handler handler) {
    std::lock_guard<std::mutex> lock(route_lock_);
    routes_.push_back(Route{std::move(method), std::move(path), std::move(handler)});
}

bool HttpServer::Start() {
    if (running_.load()) return true;
    auto transport = MakeHttpTransport(*this);
    std::string error;
    if (!transport->Open(port_, error)) {
        last_error_ = std::move(error);
        return false;
    }
    transport_ = std::move(transport);
    running_ = true;
    return true;
}

void HttpServer::Stop() {
    if (!running_.exchange(false)) return;
    if (transport_) {
        transport_->Close();
        transport_.reset();
    }
}

HttpServer::Response HttpServer::Dispatch(const Request& request) const {
    try {
        Handler handler;
        {
            std::lock_guard<std::mutex> lock(route_lock_);
            for (const Route& route : routes_) {
                if (route.method == request.method && route.path == request.path) {
                    handler = route.handler;
                    break;
                }
            }
        }
        if (!handler) return Response{404, "Not Found", R"({"error":"not found"})"};
        return handler(request);
    } catch (...) {
        // Handlers answer their own failures; this only keeps the serving thread alive.
        return ListenerError(500, "Internal Server Error", "Unknown error");
    }
}

bool IsLoopbackHost(std::string_view host) {
    std::string_view name = host;
    std::string_view port;
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        if (close == std::string_view::npos) return false;
        name = host.substr(0, close + 1);
        port = host.substr(close + 1);
    } else if (const auto colon = host.find(':'); colon != std::string_view::npos) {
        name = host.substr(0, colon);
        port = host.substr(colon);
    }
    if (!port.empty()) {
        if (port.size() < 2 || port.size() > 6 || port.front() != ':') return false;
        for (const char c : port.substr(1)) {
            if (c < '0' || c > '9') return false;
        }
    }
    if (name == "127.0.0.1" || name == "[::1]") return true;
    constexpr std::string_view localhost = "localhost";
    if (name.size() != localhost.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != localhost[i]) return false;
    }
    return true;
}

HttpServer::Response ListenerError(std::uint16_t status, std::string_view reason,
                                   std::string_view message) {
    std::string body = R"({"error":")";
    body.append(message);
    body += "\"}";
    return HttpServer::Response{status, std::string(reason), std::move(body)};
}

}  // namespace win32util
