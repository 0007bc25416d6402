#pragma once

// A real listener on a free loopback port serving a cache of its own, and the reference objects
// in that cache.

#include <gtest/gtest.h>

#include <memory>

#include "core/self_check.hpp"
#include "http/http_service.hpp"
#include "http_client.hpp"
#include "objects/object_cache.hpp"

namespace qvl::service::testing {

// Each test starts with an empty cache and a running service, and leaves neither behind.
class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Another process may take the free port between the probe and the start.
        for (int attempt = 0; attempt < 20 && !(server_ && server_->IsRunning()); ++attempt) {
            port_ = 0;
            ::close(loopback_socket(port_, false));
            server_ = std::make_unique<win32util::HttpServer>(port_);
            add_service_routes(*server_, cache_);
            server_->Start();
        }
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
    Reply get(const std::string& target) { return Client(port_).request("GET", target, ""); }

    std::shared_ptr<objects::ObjectCache> cache_ = std::make_shared<objects::ObjectCache>();
    std::unique_ptr<win32util::HttpServer> server_;
    std::uint16_t port_ = 0;
};

}  // namespace qvl::service::testing
