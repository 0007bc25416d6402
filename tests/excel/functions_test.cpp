// The switch for the HTTP service without a host: the port argument and the texts of starting
// and stopping, against a real listener on the loopback address.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "../http/http_client.hpp"
#include "excel/http_functions.hpp"
#include "http/http_service.hpp"

namespace qvl::addin {
namespace {

using service::testing::Client;
using service::testing::loopback_socket;

TEST(ServiceControl, StartAndStopTexts) {
    EXPECT_EQ(port_from_argument(std::nullopt), 50080);
    EXPECT_EQ(port_from_argument(-1), 65535);  // fractions and ports past 65535: the host tests
    EXPECT_EQ(http_stop_text(), "HTTP server stopped");  // nothing runs
    // A socket bound to the port makes the start fail; the port is free again afterwards.
    std::uint16_t port = 0;
    const int holder = loopback_socket(port, false);
    const std::string where = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(http_start_text(port), "Failed: bind " + where + ": Address already in use");
    EXPECT_FALSE(service::http_service_running());
    ::close(holder);
    const std::string running = "HTTP server running on port " + std::to_string(port);
    ASSERT_EQ(http_start_text(port), running);
    EXPECT_TRUE(service::StartHttpService(port, std::make_shared<objects::ObjectCache>()));
    // A second start on the same port replaces the server.
    EXPECT_EQ(http_start_text(port), running);
    EXPECT_EQ(Client(port).request("GET", "/health", "").status, 200);
    EXPECT_EQ(http_stop_text(), "HTTP server stopped");
    EXPECT_FALSE(Client(port).connected());
    EXPECT_EQ(http_start_text(0.0), "Failed: bind 127.0.0.1:0: port 0 is not allowed");
}

}  // namespace
}  // namespace qvl::addin
