#include "http/http_service.hpp"

#include <cmath>
#include <exception>
#include <memory>
#include <mutex>

#include "excel/object_cache.hpp"
#include "http/json_api.hpp"
#include "http/json_documents.hpp"

namespace qvl::service {

namespace {

using win32util::HttpServer;

struct ServiceSlot {
    std::mutex lock;
    std::unique_ptr<HttpServer> server;
};

ServiceSlot& slot() {
    // The cache is made first so that it is destroyed after the slot, whose destruction stops a
    // server still serving requests against it.
    addin::ObjectCache::Instance();
    static ServiceSlot instance;
    return instance;
}

// Destroying a server stops it; that happens outside the slot's lock.
std::unique_ptr<HttpServer> take_server(ServiceSlot& s) {
    std::lock_guard<std::mutex> guard(s.lock);
    return std::move(s.server);
}

}  // namespace

bool StartHttpService(std::uint16_t port) {
    ServiceSlot& s = slot();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.server && s.server->IsRunning()) return true;
    s.server.reset();
    s.server = std::make_unique<HttpServer>(port);
    // The health document reads counts kept without the calculation lock, so it is answered
    // at once, whatever the worker is doing.
    s.server->AddRoute("GET", u"/health", &HandleHealth, HttpServer::Runs::at_once);
    s.server->AddRoute("POST", u"/qvl", &HandleApi);
    s.server->AddRoute("POST", u"/API", &HandleApi);
    return s.server->Start();
}

void StopHttpService() {
    take_server(slot()).reset();
}

bool HttpServiceRunning() {
    ServiceSlot& s = slot();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.server && s.server->IsRunning();
}

std::uint16_t PortFromArgument(std::optional<double> argument) {
    if (!argument) return kDefaultPort;
    if (!std::isfinite(*argument)) return 0;
    // The integer part's low 16 bits, as a 32-bit conversion gives them, without its overflow.
    double low = std::fmod(std::trunc(*argument), 65536.0);
    if (low < 0) low += 65536.0;
    return static_cast<std::uint16_t>(low);
}

std::string HttpStartText(std::optional<double> port_argument) {
    try {
        const std::uint16_t port = PortFromArgument(port_argument);
        StopHttpService();
        if (StartHttpService(port)) return "HTTP server running on port " + std::to_string(port);
        ServiceSlot& s = slot();
        std::lock_guard<std::mutex> guard(s.lock);
        return "Failed: " + (s.server ? s.server->LastError() : std::string("unknown"));
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

std::string HttpStopText() {
    try {
        StopHttpService();
        return "HTTP server stopped";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

HttpServer::Response HandleHealth(const HttpServer::Request&) {
    return HttpServer::Response{200, "OK", HealthDocument(addin::ObjectCache::Instance().Counts())};
}

}  // namespace qvl::service
