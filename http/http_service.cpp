#include "http/http_service.hpp"

#include <memory>
#include <mutex>

#include "http/json_api.hpp"
#include "http/json_documents.hpp"
#include "objects/object_cache.hpp"

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
    objects::ObjectCache::instance();
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

std::string stop_http_service() {
    const auto server = take_server(slot());
    return server ? server->Stop() : std::string();
}

bool http_service_running() {
    ServiceSlot& s = slot();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.server && s.server->IsRunning();
}

std::optional<std::string> http_service_last_error() {
    ServiceSlot& s = slot();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.server) return std::nullopt;
    return s.server->LastError();
}

HttpServer::Response HandleHealth(const HttpServer::Request&) {
    return HttpServer::Response{200, "OK",
                                HealthDocument(objects::ObjectCache::instance().Counts())};
}

}  // namespace qvl::service
