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
    static ServiceSlot instance;
    return instance;
}

// Destroying a server stops it; that happens outside the slot's lock.
std::unique_ptr<HttpServer> take_server(ServiceSlot& s) {
    std::lock_guard<std::mutex> guard(s.lock);
    return std::move(s.server);
}

}  // namespace

void add_service_routes(HttpServer& server, std::shared_ptr<objects::ObjectCache> cache) {
    // The health document reads counts without the calculation lock, so it is answered at
    // once, whatever the worker is doing. The routes share the cache, which lives as long as
    // the last of them.
    server.AddRoute(
        "GET", u"/health",
        [cache](const HttpServer::Request& request) { return HandleHealth(*cache, request); },
        HttpServer::Runs::at_once);
    const auto api = [cache](const HttpServer::Request& request) {
        return HandleApi(*cache, request);
    };
    server.AddRoute("POST", u"/qvl", api);
    server.AddRoute("POST", u"/API", api);
}

bool StartHttpService(std::uint16_t port, std::shared_ptr<objects::ObjectCache> cache) {
    ServiceSlot& s = slot();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.server && s.server->IsRunning()) return true;
    s.server.reset();
    s.server = std::make_unique<HttpServer>(port);
    add_service_routes(*s.server, std::move(cache));
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

HttpServer::Response HandleHealth(const objects::ObjectCache& cache, const HttpServer::Request&) {
    return HttpServer::Response{200, "OK", HealthDocument(cache.counts())};
}

}  // namespace qvl::service
