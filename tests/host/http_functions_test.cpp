// QVL.HttpStart and QVL.HttpStop in qvl.xll: the port read from a cell, the service started from
// the sheet serving the objects the sheet holds, and going when the add-in closes.

#include <atomic>
#include <string>
#include <thread>

#include "../http/http_client.hpp"
#include "addin_fixture.hpp"

namespace {

using qvl::service::testing::Client;
using standin::Value;

class HttpWorkbook : public Workbook {
  protected:
    // QVL.HttpStart of a free port plus offset. Another process may take a probed port before
    // the start, so a few are tried.
    testing::AssertionResult start_on_free_port(double offset) {
        std::string text;
        for (int attempt = 0; attempt < 20; ++attempt) {
            port_ = 0;
            ::close(qvl::service::testing::loopback_socket(port_, false));
            text = host.call("QVL.HttpStart", {port_ + offset}).text();
            if (text == "HTTP server running on port " + std::to_string(port_)) {
                return testing::AssertionSuccess();
            }
        }
        return testing::AssertionFailure() << text;
    }

    qvl::service::testing::Reply post(const std::string& body) {
        return Client(port_).request("POST", "/qvl", body);
    }
    std::string health() { return Client(port_).request("GET", "/health", "").body; }

    std::uint16_t port_ = 0;
};

// The reference cells recalculated while a client asks: curve A1, series A2, swaps B1 (buyer)
// and B2 (seller, 4e6). The service sees only the objects of the latest recalculation. What a
// calculation leaves on a swap, seen from both sides, is the scenario comparison's.
TEST_F(HttpWorkbook, ServesTheObjectsTheSheetHoldsNowUntilTheAddinCloses) {
    // The integer part's low 16 bits name the port.
    ASSERT_TRUE(start_on_free_port(65536.9));
    std::atomic<bool> done{false};
    std::thread client([&] {
        while (!done) post(R"j({"Request":"Specs","Index":"1"})j");
    });
    for (int i = 0; i < 30; ++i) {
        const Value curve_handle =
            host.call_from({.row = 0}, "QVL.CreateCurve", {"2026-01-20", curve});
        const Value series_handle =
            host.call_from({.row = 1}, "QVL.CreateSeries", {1, series, factors});
        // Only the last buyer has 12e6; stale swaps such as #Swap_100 sort before it.
        host.call_from(
            {.column = 1}, "QVL.CreateSwap",
            {series_handle, curve_handle, Value::boolean(true), 200, i < 29 ? 8e6 : 12e6});
        host.call_from({.row = 1, .column = 1}, "QVL.CreateSwap",
                       {series_handle, curve_handle, Value::boolean(false), 200, 4e6});
    }
    done = true;
    client.join();
    EXPECT_EQ(health(), R"j({"status":"ok","curves":1,"series":1,"swaps":2})j");
    const std::string by_index = post(R"j({"Request":"Specs","Index":"1"})j").body;
    EXPECT_NE(by_index.find(R"j("Notional":12000000})j"), std::string::npos) << by_index;
    EXPECT_EQ(post(R"j({"Request":"Specs","swap":"#Swap_3"})j").body,
              R"j({"error":"Swap handle not found: #Swap_3"})j");

    EXPECT_EQ(host.call("QVL.ClearCache"), Value("Cache cleared"));
    // Closing the add-in stops the service, idle connections included.
    Client idle(port_);
    EXPECT_EQ(health(), R"j({"status":"ok","curves":0,"series":0,"swaps":0})j");
    EXPECT_EQ(host.close(), 1);
    EXPECT_TRUE(idle.closed_by_server());
    EXPECT_FALSE(Client(port_).connected());
}

}  // namespace
