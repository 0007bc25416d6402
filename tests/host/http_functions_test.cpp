// QVL.HttpStart and QVL.HttpStop in qvl.xll: the service started from the sheet serves the
// objects the sheet makes, and goes when the add-in closes.

#include <atomic>
#include <string>
#include <thread>

#include "../http/http_client.hpp"
#include "workbook.hpp"

namespace {

using qvl::service::testing::Client;
using qvl::service::testing::loopback_socket;
using standin::Value;

const std::string empty_health = R"j({"status":"ok","curves":0,"series":0,"swaps":0})j";

class HttpWorkbook : public Workbook {
  protected:
    std::string start(const Value& port) { return host.call("QVL.HttpStart", {port}).text(); }
    std::string running() const { return "HTTP server running on port " + std::to_string(port_); }

    // QVL.HttpStart of a free port plus offset, which must answer running(). Another process
    // may take a probed port before the start, so a few are tried.
    ::testing::AssertionResult start_on_free_port(double offset = 0) {
        std::string text;
        for (int attempt = 0; attempt < 20; ++attempt) {
            port_ = 0;
            ::close(loopback_socket(port_, false));
            text = start(port_ + offset);
            if (text == running()) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << text;
    }

    qvl::service::testing::Reply post(const std::string& body) {
        return Client(port_).request("POST", "/qvl", body);
    }
    std::string health() { return Client(port_).request("GET", "/health", "").body; }

    std::uint16_t port_ = 0;
};

TEST_F(HttpWorkbook, StartAndStopTexts) {
    EXPECT_EQ(host.call("QVL.HttpStop").text(), "HTTP server stopped");  // nothing runs

    std::uint16_t held = 0;
    const int holder = loopback_socket(held, false);
    EXPECT_EQ(start(held),
              "Failed: bind 127.0.0.1:" + std::to_string(held) + ": Address already in use");
    ::close(holder);

    // The integer part's low 16 bits name the port.
    ASSERT_TRUE(start_on_free_port(65536.9));
    EXPECT_EQ(health(), empty_health);
    EXPECT_EQ(start(port_), running());  // replaces the server on the same port
    EXPECT_EQ(health(), empty_health);

    // A text is no port: the default one. Whether that port is free is not the test's to know,
    // so either answer will do as long as it names the default port; the old server goes
    // either way.
    const std::string on_default = start("8080");
    EXPECT_TRUE(on_default == "HTTP server running on port 50080" ||
                on_default.rfind("Failed: bind 127.0.0.1:50080: ", 0) == 0)
        << on_default;
    EXPECT_FALSE(Client(port_).connected());
    EXPECT_EQ(host.call("QVL.HttpStop").text(), "HTTP server stopped");
}

TEST_F(HttpWorkbook, ServesTheObjectsTheSheetMakes) {
    ASSERT_TRUE(start_on_free_port());
    EXPECT_EQ(health(), empty_health);
    build_reference();
    EXPECT_EQ(health(), R"j({"status":"ok","curves":1,"series":1,"swaps":1})j");

    EXPECT_EQ(post(qvl::service::testing::calculate_at200).body,
              qvl::service::testing::reference_valuation);
    EXPECT_NE(post(R"j({"Request":"Series"})j").body.find(R"j({"1":{"handle":"#Series_2",)j"),
              std::string::npos);
    const auto payment = post(
        R"j({"Request":"Payment","swap":"#Swap_3","Trade Date":"2026-01-20","Clean Price":99})j");
    EXPECT_EQ(payment.status, 200);
    EXPECT_NE(payment.body.find(R"j("ois_date":"2026-01-20")j"), std::string::npos);
    const auto pnl = post(R"j({"Request":"Calculate","Trade Date":"2026-01-20",)j"
                          R"j("Init Trade Date":"2025-10-01","Init Clean Price":100.1,)j"
                          R"j("Close Clean Price":99.5})j");
    EXPECT_EQ(pnl.status, 200);
    EXPECT_NE(pnl.body.find(R"j("Trade Init Date":"2025-10-06")j"), std::string::npos) << pnl.body;

    // What the sheet's calculation leaves on the swap is what the service describes.
    host.call("QVL.CalcFromEventRate", {"#Swap_3", "2026-02-17", 150});
    const std::string specs = post(R"j({"Request":"Specs","swap":"#Swap_3"})j").body;
    EXPECT_NE(specs.find(R"j("Trade Date":"2026-02-17")j"), std::string::npos) << specs;
    EXPECT_NE(specs.find(R"j("Event Rate (bps)":150)j"), std::string::npos) << specs;

    EXPECT_EQ(host.call("QVL.ClearCache").text(), "Cache cleared");
    EXPECT_EQ(health(), empty_health);
    const auto none = post(qvl::service::testing::calculate_at200);
    EXPECT_EQ(none.status, 500);
    EXPECT_EQ(none.body, R"j({"error":"No swaps cached. Create one via QVL.CreateSwap first."})j");
}

TEST_F(HttpWorkbook, IndexPicksTheSwapWhoseHandleSortsFirst) {
    build_reference();
    ASSERT_EQ(host.call("QVL.CreateSwap", {"#Series_2", "#YC_1", Value::boolean(false), 200, 4e6}),
              Value("#Swap_4"));
    for (int n = 5; n <= 11; ++n) host.call("QVL.CreateCurve", {"2026-01-20", curve});
    ASSERT_EQ(host.call("QVL.CreateSwap", {"#Series_2", "#YC_1", Value::boolean(true), 200, 12e6}),
              Value("#Swap_12"));
    ASSERT_TRUE(start_on_free_port());

    // #Swap_12 sorts before #Swap_3 and #Swap_4.
    const std::string by_index = post(R"j({"Request":"Specs","Index":" 1 "})j").body;
    EXPECT_NE(by_index.find(R"j("Notional":12000000})j"), std::string::npos) << by_index;
    const std::string by_handle =
        post(R"j({"Request":"Specs","swap":"#Swap_4","Index":"1"})j").body;
    EXPECT_NE(by_handle.find(R"j("Is Buyer":false)j"), std::string::npos) << by_handle;
    EXPECT_NE(by_handle.find(R"j("Notional":4000000})j"), std::string::npos) << by_handle;
    EXPECT_EQ(post(R"j({"Request":"Specs","Index":"2"})j").body,
              R"j({"error":"No cached swap for Index: 2"})j");
}

// The reference cells recalculated: curve A1, series A2, swaps B1 (buyer) and B2 (seller, 4e6).
TEST_F(HttpWorkbook, TheServiceSeesOnlyTheObjectsOfTheLatestRecalculation) {
    const standin::Cell curve_cell{.row = 0}, series_cell{.row = 1};
    const standin::Cell buyer_cell{.column = 1}, seller_cell{.row = 1, .column = 1};
    ASSERT_TRUE(start_on_free_port());
    std::atomic<bool> done{false};
    // Requests while the sheet recalculates: the sanitizer build checks the two threads.
    std::thread client([&] {
        while (!done) {
            Client(port_).request("GET", "/health", "");
            post(R"j({"Request":"Specs","Index":"1"})j");
        }
    });
    Value series_handle;
    for (int i = 0; i < 30; ++i) {
        const Value curve_handle =
            host.call_from(curve_cell, "QVL.CreateCurve", {"2026-01-20", curve});
        series_handle = host.call_from(series_cell, "QVL.CreateSeries", {1, series, factors});
        // Only the last buyer has 12e6; stale swaps such as #Swap_100 sort before it.
        host.call_from(
            buyer_cell, "QVL.CreateSwap",
            {series_handle, curve_handle, Value::boolean(true), 200, i < 29 ? 8e6 : 12e6});
        host.call_from(seller_cell, "QVL.CreateSwap",
                       {series_handle, curve_handle, Value::boolean(false), 200, 4e6});
    }
    done = true;
    client.join();
    EXPECT_EQ(health(), R"j({"status":"ok","curves":1,"series":1,"swaps":2})j");
    const std::string listing = post(R"j({"Request":"Series"})j").body;
    EXPECT_NE(listing.find("\"handle\":\"" + series_handle.text() + "\""), std::string::npos)
        << listing;
    EXPECT_EQ(listing.find("#Series_2\""), std::string::npos) << listing;
    // #Swap_119 and #Swap_120 are live; the stale #Swap_3 ... #Swap_116 are not considered.
    EXPECT_EQ(post(R"j({"Request":"Specs","swap":"#Swap_119"})j").status, 200);
    const std::string by_index = post(R"j({"Request":"Specs","Index":"1"})j").body;
    EXPECT_NE(by_index.find(R"j("Notional":12000000})j"), std::string::npos) << by_index;
    EXPECT_EQ(post(R"j({"Request":"Specs","swap":"#Swap_3"})j").body,
              R"j({"error":"Swap handle not found: #Swap_3"})j");
}

TEST_F(HttpWorkbook, ClosingTheAddinStopsTheService) {
    ASSERT_TRUE(start_on_free_port());
    Client idle(port_);
    EXPECT_EQ(health(), empty_health);
    EXPECT_EQ(host.close(), 1);
    EXPECT_TRUE(idle.closed_by_server());
    EXPECT_FALSE(Client(port_).connected());
}

}  // namespace
