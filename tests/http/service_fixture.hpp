#pragma once

// A real listener on a free loopback port and the reference objects in the cache.

#include <gtest/gtest.h>

#include "core/self_check.hpp"
#include "http/http_service.hpp"
#include "http_client.hpp"
#include "objects/object_cache.hpp"

namespace qvl::service::testing {

// Each test starts with an empty cache and a running service, and leaves neither behind.
class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clear_cache();
        // Another process may take the free port between the probe and the start.
        for (int attempt = 0; attempt < 20 && !http_service_running(); ++attempt) {
            port_ = 0;
            ::close(loopback_socket(port_, false));
            StartHttpService(port_);
        }
        ASSERT_TRUE(http_service_running());
    }
    void TearDown() override {
        stop_http_service();
        clear_cache();
    }
    static void clear_cache() {
        const auto lock = objects::ObjectCache::instance().calculation_lock();
        objects::ObjectCache::instance().ClearAll();
    }

    // Caches the swap (the reference one by default) with its curve and series, as the
    // worksheet's creating calls do: #YC_1, #Series_2, #Swap_3.
    static std::shared_ptr<QVLSwap> store(std::shared_ptr<QVLSwap> swap = make_reference_swap()) {
        auto& cache = objects::ObjectCache::instance();
        const auto lock = cache.calculation_lock();
        cache.StoreCurve(cache.MakeHandle("YC"), swap->curve);
        cache.StoreSeries(cache.MakeHandle("Series"), swap->series);
        cache.StoreSwap(cache.MakeHandle("Swap"), swap);
        return swap;
    }

    Reply post(const std::string& body, const std::string& path = "/qvl") {
        return Client(port_).request("POST", path, body);
    }
    Reply get(const std::string& target) { return Client(port_).request("GET", target, ""); }

    std::uint16_t port_ = 0;
};

}  // namespace qvl::service::testing
