// The listener stays available: calculations queue for the worker while the listener answers
// everything else at once, a request that waits too long is answered 503 and never run, and
// connections and request bytes are capped.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "http/http_server.hpp"
#include "http/json_api.hpp"
#include "service_fixture.hpp"

namespace qvl::service::testing {
namespace {

using namespace std::chrono_literals;
using win32util::HttpServer;

// A gate a handler waits at until the test opens it.
class Gate {
  public:
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    void await_waiter() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return waiting_ > 0; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int waiting_ = 0;
    bool open_ = false;
};

// A server of its own on a free port.
class OwnServer {
  public:
    explicit OwnServer(std::chrono::milliseconds wait = HttpServer::queue_wait) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            port_ = 0;
            ::close(loopback_socket(port_, false));
            server_ = std::make_unique<HttpServer>(port_);
            server_->set_queue_wait(wait);
            routes_(*server_);
            if (server_->Start()) return;
        }
        ADD_FAILURE() << server_->LastError();
    }
    HttpServer& operator*() { return *server_; }
    HttpServer* operator->() { return server_.get(); }
    std::uint16_t port() const { return port_; }

    // Routes are added by the test before the server starts.
    static inline std::function<void(HttpServer&)> routes_ = [](HttpServer&) {};

  private:
    std::uint16_t port_ = 0;
    std::unique_ptr<HttpServer> server_;
};

struct Routes {
    explicit Routes(std::function<void(HttpServer&)> add) { OwnServer::routes_ = std::move(add); }
    ~Routes() {
        OwnServer::routes_ = [](HttpServer&) {};
    }
};

TEST(Worker, RunsCallsOneAtATimeInArrivalOrder) {
    std::mutex mutex;
    std::vector<int> order;
    std::atomic<int> inside{0};
    std::atomic<int> most_inside{0};
    Gate gate;
    const Routes routes([&](HttpServer& server) {
        server.AddRoute("POST", u"/work", [&](const HttpServer::Request& request) {
            const int now = ++inside;
            most_inside = std::max(most_inside.load(), now);
            if (request.body == "0") gate.wait();
            {
                std::lock_guard<std::mutex> lock(mutex);
                order.push_back(std::stoi(request.body));
            }
            --inside;
            return HttpServer::Response{200, "OK", request.body};
        });
    });
    OwnServer server;
    constexpr int calls = 40;
    std::vector<std::promise<std::string>> answers(calls);
    for (int i = 0; i < calls; ++i) {
        const auto dispatched = server->dispatch(
            HttpServer::Request{"POST", u"/work", std::to_string(i)},
            [&answers, i](HttpServer::Response r) { answers[i].set_value(std::move(r.body)); });
        ASSERT_FALSE(dispatched.answer);
        // The first call holds the worker while the others queue behind it.
        if (i == 0) gate.await_waiter();
    }
    gate.open();
    for (int i = 0; i < calls; ++i) EXPECT_EQ(answers[i].get_future().get(), std::to_string(i));
    std::vector<int> expected(calls);
    for (int i = 0; i < calls; ++i) expected[i] = i;
    EXPECT_EQ(order, expected);
    EXPECT_EQ(most_inside.load(), 1);

    // Routes that run at once answer in Dispatch itself; so do misses.
    EXPECT_EQ(server->dispatch(HttpServer::Request{"GET", u"/work", ""}, nullptr).answer->status,
              404);
}

TEST(Worker, ACallThatWaitedPastTheBoundIsAnsweredBusyAndNeverRun) {
    Gate gate;
    std::atomic<int> runs{0};
    const Routes routes([&](HttpServer& server) {
        server.AddRoute("POST", u"/block", [&](const HttpServer::Request&) {
            gate.wait();
            return HttpServer::Response{200, "OK", "{}"};
        });
        server.AddRoute("POST", u"/count", [&](const HttpServer::Request&) {
            ++runs;
            return HttpServer::Response{200, "OK", "{}"};
        });
        server.AddRoute(
            "GET", u"/now",
            [](const HttpServer::Request&) {
                return HttpServer::Response{200, "OK", "{}"};
            },
            HttpServer::Runs::at_once);
    });
    OwnServer server(300ms);
    Client blocker(server.port());
    blocker.send("POST /block HTTP/1.1\r\nHost: localhost\r\nContent-Length: 0\r\n\r\n");
    gate.await_waiter();

    // Over the wire: the transport's timer answers at the bound, while the worker is held.
    Client waiting(server.port());
    const auto asked = std::chrono::steady_clock::now();
    waiting.send("POST /count HTTP/1.1\r\nHost: localhost\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(Client(server.port()).request("GET", "/now", "").status, 200);
    const Reply busy = waiting.read();
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 300ms);
    EXPECT_EQ(busy.status, 503);
    EXPECT_EQ(busy.reason, "Service Unavailable");
    EXPECT_EQ(busy.body, R"j({"error":"server busy"})j");
    EXPECT_EQ(busy.headers.at("retry-after"), std::to_string(HttpServer::retry_after_seconds));

    // Handed in directly, with no timer to take it back: the worker answers it busy itself
    // once it is free.
    std::promise<HttpServer::Response> late;
    server->dispatch(HttpServer::Request{"POST", u"/count", ""},
                     [&late](HttpServer::Response r) { late.set_value(std::move(r)); });
    std::this_thread::sleep_for(350ms);
    gate.open();
    EXPECT_EQ(blocker.read().status, 200);
    EXPECT_EQ(late.get_future().get().status, 503);
    EXPECT_EQ(runs.load(), 0);
    // The connection that was answered busy is served as usual afterwards.
    EXPECT_EQ(waiting.request("POST", "/count", "").status, 200);
    EXPECT_EQ(runs.load(), 1);
}

TEST(Worker, StoppingFinishesTheCallInHandAndDropsTheWaitingOnes) {
    Gate gate;
    std::atomic<int> runs{0};
    const Routes routes([&](HttpServer& server) {
        server.AddRoute("POST", u"/work", [&](const HttpServer::Request&) {
            ++runs;
            gate.wait();
            return HttpServer::Response{200, "OK", "{}"};
        });
    });
    OwnServer server;
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<Client>(server.port()));
        clients.back()->send("POST /work HTTP/1.1\r\nHost: localhost\r\nContent-Length: 0\r\n\r\n");
        if (i == 0) gate.await_waiter();
    }
    std::this_thread::sleep_for(100ms);
    std::thread opener([&] {
        std::this_thread::sleep_for(200ms);
        gate.open();
    });
    server->Stop();  // waits for the call in hand
    opener.join();
    EXPECT_EQ(runs.load(), 1);
    for (auto& client : clients) EXPECT_EQ(client->read().status, 0);
}

using ServiceAvailabilityTest = ServiceTest;

TEST_F(ServiceAvailabilityTest, CalculationsWaitForALongWorksheetCallWhileHealthAnswers) {
    store_reference();
    Client calculate(port_);
    {
        // As if a worksheet function were running long.
        const auto lock = objects::ObjectCache::instance().calculation_lock();
        calculate.send("POST /qvl HTTP/1.1\r\nHost: localhost\r\nContent-Length: " +
                       std::to_string(calculate_at200.size()) + "\r\n\r\n" + calculate_at200);
        for (int i = 0; i < 20; ++i) {
            const Reply health = get("/health");
            EXPECT_EQ(health.body, R"j({"status":"ok","curves":1,"series":1,"swaps":1})j");
            EXPECT_EQ(get("/missing").status, 404);
        }
    }
    EXPECT_EQ(calculate.read().body, reference_valuation);
}

TEST_F(ServiceAvailabilityTest, ARequestAnsweredBusyLeavesTheCacheUntouched) {
    store_reference();
    const Routes routes([](HttpServer& server) {
        server.AddRoute("GET", u"/health", &HandleHealth, HttpServer::Runs::at_once);
        server.AddRoute("POST", u"/qvl", &HandleApi);
    });
    OwnServer server(200ms);
    const std::string at_300 =
        R"j({"Request":"Calculate","Trade Date":"2026-01-20","Credit Event Rate":300})j";
    Client client(server.port());
    {
        const auto lock = objects::ObjectCache::instance().calculation_lock();
        const Reply busy = client.request("POST", "/qvl", at_300);
        EXPECT_EQ(busy.status, 503);
        EXPECT_EQ(busy.headers.at("content-type"), "application/json");
        EXPECT_EQ(Client(server.port()).request("GET", "/health", "").status, 200);
    }
    // Had the valuation at 300 bp run after all, the swap would keep that rate.
    const Reply specs = client.request("POST", "/qvl", R"j({"Request":"Specs"})j");
    EXPECT_EQ(specs.status, 200);
    EXPECT_EQ(specs.body.find(R"j("Event Rate (bps)":300)j"), std::string::npos) << specs.body;
    EXPECT_EQ(client.request("POST", "/qvl", calculate_at200).body, reference_valuation);
}

TEST(Caps, ConnectionsBeyondTheCapAreTurnedAwayAndLaterOnesServed) {
    // The cap follows the open-file limit when that is the lower; a low limit makes it small.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    const Routes routes([](HttpServer& server) {
        server.AddRoute("GET", u"/health", &HandleHealth, HttpServer::Runs::at_once);
    });
    {
        OwnServer server;
        // 200 descriptors, 64 kept for the rest of the process: 136 connections; this process
        // holds the clients' ends as well, so fewer are opened here.
        std::vector<std::unique_ptr<Client>> held;
        for (int i = 0; i < 60; ++i) held.push_back(std::make_unique<Client>(server.port()));
        EXPECT_EQ(held.back()->request("GET", "/health", "").status, 200);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
        for (int i = 0; i < 76; ++i) held.push_back(std::make_unique<Client>(server.port()));
        EXPECT_EQ(held.back()->request("GET", "/health", "").status, 200);
        Client beyond(server.port());
        const Reply refused = beyond.read();
        EXPECT_EQ(refused.status, 503);
        EXPECT_EQ(refused.body, R"j({"error":"too many connections"})j");
        EXPECT_EQ(refused.headers.at("retry-after"),
                  std::to_string(HttpServer::retry_after_seconds));
        EXPECT_TRUE(beyond.closed_by_server());
        // The connections in hand are still served, and a freed place takes a newcomer.
        EXPECT_EQ(held.front()->request("GET", "/health", "").status, 200);
        held.pop_back();
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(Client(server.port()).request("GET", "/health", "").status, 200);
    }
    setrlimit(RLIMIT_NOFILE, &saved);
}

TEST(Caps, RequestBytesBeyondTheSharedBudgetAreRefusedToTheNewcomer) {
    const Routes routes([](HttpServer& server) {
        server.AddRoute("GET", u"/health", &HandleHealth, HttpServer::Runs::at_once);
        server.AddRoute("POST", u"/size", [](const HttpServer::Request& request) {
            return HttpServer::Response{200, "OK", std::to_string(request.body.size())};
        });
    });
    OwnServer server;
    const std::string big_head = "POST /size HTTP/1.1\r\nHost: localhost\r\nContent-Length: " +
                                 std::to_string(HttpServer::max_body_size) + "\r\n\r\n";
    // Each declared body is granted in full as its head arrives; the budget takes 64 of them
    // (less what each connection holds on its own).
    std::vector<std::unique_ptr<Client>> stalled;
    const auto fits = HttpServer::shared_request_bytes / HttpServer::max_body_size;
    for (std::size_t i = 0; i < fits; ++i) {
        stalled.push_back(std::make_unique<Client>(server.port()));
        stalled.back()->send(big_head + "{");
    }
    // The listener takes their heads in long before this.
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Client(server.port()).request("GET", "/health", "").status, 200);
    Client newcomer(server.port());
    newcomer.send(big_head);
    const Reply refused = newcomer.read();
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.body, R"j({"error":"too many request bytes in progress"})j");
    EXPECT_EQ(refused.headers.at("retry-after"), std::to_string(HttpServer::retry_after_seconds));
    // Requests that fit a connection's own allowance still pass, as does /health.
    EXPECT_EQ(Client(server.port()).request("POST", "/size", std::string(4000, 'x')).body, "4000");
    Client chunked(server.port());
    chunked.send("POST /size HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n" +
                 std::string("927c0\r\n") + std::string(0x927c0, 'x') + "\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.read().status, 503);
    EXPECT_EQ(Client(server.port()).request("GET", "/health", "").status, 200);
    // Once the stalled clients go, their grants come back.
    stalled.clear();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Client(server.port())
                  .request("POST", "/size", std::string(HttpServer::max_body_size, 'x'))
                  .body,
              std::to_string(HttpServer::max_body_size));
}

TEST(TransferCodings, OnlyChunkedIsTaken) {
    const Routes routes([](HttpServer& server) {
        server.AddRoute("POST", u"/echo", [](const HttpServer::Request& request) {
            return HttpServer::Response{200, "OK", request.body};
        });
    });
    OwnServer server;
    const auto answer = [&](const std::string& codings) {
        Client client(server.port());
        client.send("POST /echo HTTP/1.1\r\nHost: localhost\r\n" + codings +
                    "\r\n2\r\n{}\r\n0\r\n\r\n");
        return client.read();
    };
    for (const std::string codings :
         {"Transfer-Encoding: chunked\r\n", "Transfer-Encoding: CHUNKED \r\n"}) {
        EXPECT_EQ(answer(codings).body, "{}") << codings;
    }
    for (const std::string codings :
         {"Transfer-Encoding: gzip, chunked\r\n", "Transfer-Encoding: chunked, chunked\r\n",
          "Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n",
          "Transfer-Encoding: identity, chunked\r\n"}) {
        const Reply refused = answer(codings);
        EXPECT_EQ(refused.status, 501) << codings;
        EXPECT_EQ(refused.body, R"j({"error":"transfer coding not supported"})j") << codings;
    }
    // A coding that leaves the body's end unknown is refused as malformed framing.
    for (const std::string codings : {"Transfer-Encoding: gzip\r\n", "Transfer-Encoding: \r\n"}) {
        const int status = answer(codings).status;
        EXPECT_TRUE(status == 400 || status == 501) << codings << status;
    }
}

}  // namespace
}  // namespace qvl::service::testing
