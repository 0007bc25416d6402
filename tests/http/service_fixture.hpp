#pragma once

// A real listener on a free loopback port serving a cache of its own, and the reference objects
// in that cache.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "core/self_check.hpp"
#include "http/http_service.hpp"
#include "http_client.hpp"
#include "objects/object_cache.hpp"

namespace qvl::service::testing {

// A server on a free loopback port with the routes given. Another process may take the free port
// between the probe and the start, so several are tried.
inline std::unique_ptr<win32util::HttpServer> start_server(
    std::uint16_t& port, const std::function<void(win32util::HttpServer&)>& routes,
    std::chrono::milliseconds wait = win32util::HttpServer::queue_wait) {
    std::unique_ptr<win32util::HttpServer> server;
    for (int attempt = 0; attempt < 20; ++attempt) {
        port = 0;
        ::close(loopback_socket(port, false));
        server = std::make_unique<win32util::HttpServer>(port);
        server->set_queue_wait(wait);
        routes(*server);
        if (server->Start()) return server;
    }
    ADD_FAILURE() << server->LastError();
    return server;
}

inline Reply get_from(std::uint16_t port, const std::string& target) {
    return Client(port).request("GET", target, "");
}

// Each test starts with an empty cache and a running service, and leaves neither behind.
class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_ = start_server(port_, [this](auto& server) { add_service_routes(server, cache_); });
        ASSERT_TRUE(server_->IsRunning());
    }
    void TearDown() override { server_.reset(); }

    // Caches the swap (the reference one by default) with its curve and series, as the
    // worksheet's creating calls do: #YC_1, #Series_2, #Swap_3.
    std::shared_ptr<const QVLSwap> store(
        std::shared_ptr<const QVLSwap> swap = make_reference_swap()) {
        cache_->add(swap->curve);
        cache_->add(swap->series);
        cache_->add(std::make_shared<const objects::SwapHandle>(swap));
        return swap;
    }

    Reply post(const std::string& body, const std::string& path = "/qvl") {
        return Client(port_).request("POST", path, body);
    }
    Reply get(const std::string& target) { return get_from(port_, target); }

    std::shared_ptr<objects::ObjectCache> cache_ = std::make_shared<objects::ObjectCache>();
    std::unique_ptr<win32util::HttpServer> server_;
    std::uint16_t port_ = 0;
};

}  // namespace qvl::service::testing
