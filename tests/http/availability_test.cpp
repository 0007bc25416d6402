// The listener stays available: calculations queue for one worker while it answers the rest at
// once, a request that waits too long is answered 503 and never run, connections and request
// bytes are capped, and worksheet and service calculations on one swap never mix.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "core/date.hpp"
#include "http/http_server.hpp"
#include "http/json_api.hpp"
#include "service_fixture.hpp"

namespace qvl::service::testing {
namespace {

using namespace std::chrono_literals;
using win32util::HttpServer;

const std::string retry_after = std::to_string(HttpServer::retry_after_seconds);

HttpServer::Response ok(std::string body = "{}") {
    return HttpServer::Response{200, "OK", std::move(body)};
}

// A gate the handlers wait at until the test opens it; the test can wait for the first.
struct Gate {
    void wait() {
        if (!reached_first.exchange(true)) reached.set_value();
        opened.wait();
    }
    std::promise<void> reached, open;
    std::shared_future<void> opened = open.get_future().share();
    std::atomic<bool> reached_first{false};
};

TEST(Worker, RunsCallsOneAtATimeInArrivalOrderAndStoppingDropsTheWaitingOnes) {
    Gate first, middle;
    std::mutex mutex;
    std::vector<std::string> answered;
    std::uint16_t port;
    const auto server = start_server(port, [&](HttpServer& s) {
        s.AddRoute("POST", u"/work", [&](const HttpServer::Request& request) {
            if (request.body == "0") first.wait();
            if (request.body == "20") middle.wait();
            return ok(request.body);
        });
        s.AddRoute(
            "GET", u"/fail",
            [](const HttpServer::Request&) -> HttpServer::Response { throw std::bad_alloc(); },
            HttpServer::Runs::at_once);
    });
    for (int i = 0; i < 40; ++i) {
        const auto dispatched = server->dispatch(
            HttpServer::Request{"POST", u"/work", std::to_string(i)}, [&](HttpServer::Response r) {
                std::lock_guard<std::mutex> lock(mutex);
                answered.push_back(r.body);
            });
        EXPECT_FALSE(dispatched.answer);
        // The first call holds the worker while the others queue behind it.
        if (i == 0) first.reached.get_future().wait();
    }
    // Meanwhile routes that run at once answer in Dispatch itself, a failure as an error; so
    // do misses.
    const auto at_once = [&](const char16_t* path) {
        return *server->dispatch(HttpServer::Request{"GET", path, ""}, nullptr).answer;
    };
    EXPECT_EQ(at_once(u"/fail").body, R"j({"error":"Unknown error"})j");
    EXPECT_EQ(at_once(u"/work").status, 404);
    first.open.set_value();
    // Stopping while call 20 is in hand waits for it and drops the ones still waiting.
    middle.reached.get_future().wait();
    std::thread opener([&] {
        // Stopping refuses new calls before it waits for the one in hand.
        while (!server->dispatch(HttpServer::Request{"POST", u"/work", "late"}, nullptr).answer) {
            std::this_thread::yield();
        }
        middle.open.set_value();
    });
    server->Stop();
    opener.join();
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(answered.size(), 21u);
    for (int i = 0; i <= 20; ++i) EXPECT_EQ(answered[i], std::to_string(i));
}

using AvailabilityTest = ServiceTest;

TEST_F(AvailabilityTest, ACallThatWaitedPastTheBoundIsAnsweredBusyAndNeverRun) {
    store();
    Gate gate;
    std::uint16_t port;
    const auto server = start_server(
        port,
        [&](HttpServer& s) {
            s.AddRoute("POST", u"/block", [&](const HttpServer::Request&) {
                gate.wait();
                return ok();
            });
            add_service_routes(s, cache_);
        },
        300ms);
    // Had any of the valuations at 300 bp run after all, the swap would keep that rate.
    const std::string at_300 =
        R"j({"Request":"Calculate","Trade Date":"2026-01-20","Credit Event Rate":300})j";
    Client blocker(port);
    blocker.send("POST /block HTTP/1.1\r\nHost: localhost\r\nContent-Length: 0\r\n\r\n");
    gate.reached.get_future().wait();

    // Over the wire: the transport's timer answers at the bound, while the worker is held.
    Client waiting(port);
    waiting.send("POST /qvl HTTP/1.1\r\nHost: localhost\r\nContent-Length: " +
                 std::to_string(at_300.size()) + "\r\n\r\n" + at_300);
    EXPECT_EQ(get_from(port, "/health").status, 200);
    const Reply busy = waiting.read();
    EXPECT_EQ(busy.status, 503);
    EXPECT_EQ(busy.reason, "Service Unavailable");
    EXPECT_EQ(busy.body, R"j({"error":"server busy"})j");
    EXPECT_EQ(busy.headers.at("retry-after"), retry_after);

    // Handed in directly, with no timer to take it back: the worker answers it busy itself
    // once it is free.
    std::promise<HttpServer::Response> late;
    const auto handed =
        server->dispatch(HttpServer::Request{"POST", u"/qvl", at_300},
                         [&late](HttpServer::Response r) { late.set_value(std::move(r)); });
    std::this_thread::sleep_until(handed.call->deadline + 1ms);
    gate.open.set_value();
    EXPECT_EQ(blocker.read().status, 200);
    EXPECT_EQ(late.get_future().get().status, 503);

    // While a worksheet call holds the cache, a calculation that cannot have it by the bound is
    // answered busy, and /health counts the cache without waiting.
    {
        const auto calculation = cache_->calculation();
        const Reply refused = waiting.request("POST", "/qvl", at_300);
        EXPECT_EQ(refused.status, 503);
        EXPECT_EQ(refused.headers.at("content-type"), "application/json");
        EXPECT_EQ(get_from(port, "/health").body,
                  R"j({"status":"ok","curves":1,"series":1,"swaps":1})j");
    }
    // The connection that was answered busy is served as usual afterwards.
    const std::string specs = waiting.request("POST", "/qvl", R"j({"Request":"Specs"})j").body;
    EXPECT_NE(specs.find(R"j("Event Rate (bps)":200)j"), std::string::npos) << specs;
}

TEST_F(AvailabilityTest, WorksheetAndServiceCalculationsOnOneSwapDoNotMix) {
    store();
    const auto handle = cache_->require<objects::SwapHandle>("#Swap_3");
    std::atomic<bool> done{false};
    std::atomic<int> worksheet_calls{0};
    // Each call takes the lock as a worksheet function does, and leaves the swap at other rates.
    std::thread worksheet([&] {
        const Date t = parse_date("2026-01-20");
        while (!done.load()) {
            const auto calculation = cache_->calculation();
            auto swap = calculation.hold(handle);
            const double rate = swap.calc_from_event_rate(t, 50).credit_event_rate;
            swap.solve_from_spread(t, 300.0 + rate);
            ++worksheet_calls;
        }
    });
    Client client(port_);
    int wrong = 0;
    for (int i = 0; i < 5000 && (i < 200 || worksheet_calls.load() < 20); ++i) {
        if (client.request("POST", "/qvl", calculate_at200).body != reference_valuation) ++wrong;
    }
    done = true;
    worksheet.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(worksheet_calls.load(), 20);
}

TEST(Caps, ConnectionsBeyondTheCapAreTurnedAwayAndLaterOnesServed) {
    // The cap follows the open-file limit when that is the lower; a low limit makes it small.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    {
        std::uint16_t port;
        const auto server = start_server(port, [](HttpServer& s) {
            add_service_routes(s, std::make_shared<objects::ObjectCache>());
        });
        // 200 descriptors, 64 kept for the rest of the process: 136 connections; this process
        // holds the clients' ends as well, so fewer are opened here.
        std::vector<std::unique_ptr<Client>> held;
        for (int i = 0; i < 60; ++i) held.push_back(std::make_unique<Client>(port));
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
        for (int i = 0; i < 76; ++i) held.push_back(std::make_unique<Client>(port));
        EXPECT_EQ(held.back()->request("GET", "/health", "").status, 200);
        Client beyond(port);
        const Reply refused = beyond.read();
        EXPECT_EQ(refused.status, 503);
        EXPECT_EQ(refused.body, R"j({"error":"too many connections"})j");
        EXPECT_EQ(refused.headers.at("retry-after"), retry_after);
        EXPECT_TRUE(beyond.closed_by_server());
        // The connections in hand are still served, and a freed place takes a newcomer once
        // the listener has seen the close.
        EXPECT_EQ(held.front()->request("GET", "/health", "").status, 200);
        held.pop_back();
        int status = 0;
        for (int attempt = 0; attempt < 1000 && status != 200; ++attempt) {
            status = get_from(port, "/health").status;
        }
        EXPECT_EQ(status, 200);
    }
    setrlimit(RLIMIT_NOFILE, &saved);
}

TEST(Caps, RequestBytesBeyondTheSharedBudgetAreRefusedToTheNewcomer) {
    std::uint16_t port;
    const auto server = start_server(port, [](HttpServer& s) {
        s.AddRoute("POST", u"/size", [](const HttpServer::Request& request) {
            return ok(std::to_string(request.body.size()));
        });
        s.AddRoute(
            "GET", u"/", [](const HttpServer::Request&) { return ok(); },
            HttpServer::Runs::at_once);
    });
    // A declared body is granted in full as its head arrives, before the interim answer; less
    // the 16 KiB the connection holds on its own (8 KiB of them its read buffer), it takes its
    // size less 8 KiB. Nothing answers the body: these stall.
    const auto declare = [&](std::size_t size) {
        auto client = std::make_unique<Client>(port);
        client->send(
            "POST /size HTTP/1.1\r\nHost: localhost\r\nExpect: 100-continue\r\n"
            "Content-Length: " +
            std::to_string(size) + "\r\n\r\n");
        return client;
    };
    const std::string proceed = "HTTP/1.1 100 Continue\r\n\r\n";
    std::vector<std::unique_ptr<Client>> stalled;
    for (std::size_t i = 0; i < HttpServer::shared_request_bytes / HttpServer::max_body_size; ++i) {
        stalled.push_back(declare(HttpServer::max_body_size));
        ASSERT_EQ(stalled.back()->read_until("\r\n\r\n"), proceed) << i;
    }
    // 512 KiB are left.
    const Reply refused = declare(HttpServer::max_body_size)->read();
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.body, R"j({"error":"too many request bytes in progress"})j");
    EXPECT_EQ(refused.headers.at("retry-after"), retry_after);
    stalled.push_back(declare((512 - 32 + 8) << 10));
    ASSERT_EQ(stalled.back()->read_until("\r\n\r\n"), proceed);
    // 32 KiB are left. Requests that fit a connection's own allowance still pass, and so does a
    // head of 20 KB, whose read buffer of 32 KiB takes 16 KiB; a chunked body that outgrows
    // what is left does not.
    EXPECT_EQ(Client(port).request("POST", "/size", std::string(4000, 'x')).body, "4000");
    Client long_head(port);
    long_head.send("GET / HTTP/1.1\r\nHost: localhost\r\nX-Pad: " + std::string(20000, 'p') +
                   "\r\n\r\n");
    EXPECT_EQ(long_head.read().status, 200);
    Client chunked(port);
    chunked.send("POST /size HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n" +
                 std::string("927c0\r\n") + std::string(0x927c0, 'x') + "\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.read().status, 503);
    // Once the stalled clients go, their grants come back: the largest body is granted again.
    stalled.clear();
    std::unique_ptr<Client> granted;
    for (int attempt = 0; attempt < 1000 && !granted; ++attempt) {
        granted = declare(HttpServer::max_body_size);
        if (granted->read_until("\r\n\r\n") != proceed) granted.reset();
    }
    ASSERT_TRUE(granted);
    granted->send(std::string(HttpServer::max_body_size, 'x'));
    EXPECT_EQ(granted->read().body, std::to_string(HttpServer::max_body_size));
}

}  // namespace
}  // namespace qvl::service::testing
