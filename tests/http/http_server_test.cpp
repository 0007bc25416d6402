// The listener: routes, headers, keep-alive, the refusals, and starting and stopping.

#include "http/http_server.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "http/http_transport.hpp"
#include "service_fixture.hpp"

namespace qvl::service::testing {
namespace {

using ServerTest = ServiceTest;
using win32util::HttpServer;

const std::string empty_health = R"j({"status":"ok","curves":0,"series":0,"swaps":0})j";
const std::string not_found = R"j({"error":"not found"})j";

TEST_F(ServerTest, HealthCountsTheCacheWithoutWaitingForCalculations) {
    EXPECT_EQ(get("/health").body, empty_health);
    store_reference();
    {
        // As if a worksheet function were running.
        const auto lock = objects::ObjectCache::instance().calculation_lock();
        const Reply reply = get("/health?x=1");
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body, R"j({"status":"ok","curves":1,"series":1,"swaps":1})j");
    }
    clear_cache();
    EXPECT_EQ(get("/health").body, empty_health);
}

TEST_F(ServerTest, RoutesMatchMethodAndPathExactly) {
    const std::pair<std::string, std::string> misses[] = {
        {"POST", "/health"}, {"GET", "/qvl"},    {"GET", "/API"},   {"POST", "/api"},
        {"GET", "/health/"}, {"PUT", "/health"}, {"POST", "/qvl/"}, {"GET", "/"}};
    for (const auto& [method, path] : misses) {
        const Reply reply = Client(port_).request(method, path, "{}");
        EXPECT_EQ(reply.status, 404) << method << " " << path;
        EXPECT_EQ(reply.reason, "Not Found");
        EXPECT_EQ(reply.body, not_found);
    }
    // Paths are matched after decoding; query strings take no part; an empty body gets in.
    EXPECT_EQ(get("/h%65alth").body, empty_health);
    EXPECT_EQ(post("", "/API?x=y").body, R"j({"error":"No JSON data received"})j");
}

TEST_F(ServerTest, AbsoluteFormTargetsRouteOnTheirPath) {
    const std::string authority = "127.0.0.1:" + std::to_string(port_);
    EXPECT_EQ(get("http://" + authority + "/health").body, empty_health);
    EXPECT_EQ(get("HTTP://localhost/h%65alth?x=/qvl").body, empty_health);
    EXPECT_EQ(post("", "http://" + authority + "/qvl").body,
              R"j({"error":"No JSON data received"})j");
    // No path is the root; the scheme and authority take no part in the path.
    for (const std::string& target : std::vector<std::string>{
             "http://" + authority, "http://" + authority + "?/health", "http://[::1]/qvl",
             "https://" + authority + "/health", "http:/health"}) {
        EXPECT_EQ(get(target).status, 404) << target;
    }
    // The target's host must name this machine, as the Host header must.
    for (const std::string& target :
         std::vector<std::string>{"http://evil.example/health",
                                  "http://user@" + authority + "/health", "http:///health"}) {
        EXPECT_EQ(get(target).status, 403) << target;
    }
}

TEST_F(ServerTest, AnswersAreJsonWithLengthOnOneKeptConnection) {
    store_reference();
    Client client(port_);
    const Reply replies[] = {
        client.request("GET", "/health", ""), client.request("POST", "/qvl", calculate_at200),
        client.request("GET", "/missing", ""), client.request("POST", "/API", "{}")};
    const int statuses[] = {200, 200, 404, 400};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(replies[i].status, statuses[i]);
        EXPECT_EQ(replies[i].headers.at("content-type"), "application/json");
        EXPECT_EQ(replies[i].headers.at("content-length"), std::to_string(replies[i].body.size()));
    }
    EXPECT_EQ(replies[1].body, reference_valuation);
}

TEST_F(ServerTest, OversizedHeadsAndBodiesAreRefusedAndServingGoesOn) {
    // "GET /health HTTP/1.1", Host, the padding header and the blank line: 50 bytes and pad.
    const auto head_of = [](std::size_t size) {
        return "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + std::string(size - 50, 'p') +
               "\r\n\r\n";
    };
    Client fits(port_);
    fits.send(head_of(HttpServer::head_buffer_size));
    EXPECT_EQ(fits.read().status, 200);
    Client too_long(port_);
    too_long.send(head_of(HttpServer::head_buffer_size + 1));
    EXPECT_EQ(too_long.read().status, 431);

    const std::string too_large = R"j({"error":"request body too large"})j";
    Client declared(port_);  // refused before any of the body is sent
    declared.send("POST /qvl HTTP/1.1\r\nHost: localhost\r\nContent-Length: 1048577\r\n\r\n");
    const Reply refused = declared.read();
    EXPECT_EQ(refused.status, 413);
    EXPECT_EQ(refused.body, too_large);
    Client chunked(port_);
    chunked.send("POST /qvl HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n" +
                 std::string("100001\r\n") + std::string(HttpServer::max_body_size + 1, ' ') +
                 "\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.read().body, too_large);
    // A body of exactly the limit reaches the handler.
    EXPECT_EQ(post(std::string(HttpServer::max_body_size, ' ')).status, 400);
    EXPECT_EQ(get("/health").status, 200);
}

TEST_F(ServerTest, AmbiguousFramingAndForeignCallersAreRefused) {
    const auto status_of = [&](const std::string& head) {
        Client client(port_);
        client.send(head + "\r\n");
        return client.read().status;
    };
    const std::string get_health = "GET /health HTTP/1.1\r\n";
    const std::string post_qvl = "POST /qvl HTTP/1.1\r\nHost: localhost\r\n";
    EXPECT_EQ(status_of(post_qvl + "Content-Length: 2\r\nTransfer-Encoding: chunked\r\n"), 400);
    EXPECT_EQ(status_of(post_qvl + "Content-Length: 2\r\nContent-Length: 2\r\n"), 400);
    EXPECT_EQ(status_of(post_qvl + "Content-Length: 2, 2\r\n"), 400);
    EXPECT_EQ(status_of("GET /health\r\nHost: localhost\r\n"), 400);
    EXPECT_EQ(status_of(get_health), 400);  // HTTP/1.1 without Host
    EXPECT_EQ(status_of(get_health + "Host: evil.example\r\n"), 403);
    EXPECT_EQ(status_of(get_health + "Host: localhost.evil.example\r\n"), 403);
    EXPECT_EQ(status_of(get_health + "Host: localhost\r\nOrigin: http://localhost\r\n"), 403);
    for (const std::string host : {"localhost", "LocalHost:50080", "127.0.0.1:1", "[::1]:8"}) {
        EXPECT_EQ(status_of(get_health + "Host: " + host + "\r\n"), 200) << host;
    }
    EXPECT_EQ(status_of("GET /health HTTP/1.0\r\n"), 200);
    for (const char* host : {"", "localhost:", "localhost:x", "[::1", "[::2]", "127.0.0.1.x"}) {
        EXPECT_FALSE(win32util::is_loopback_host(host)) << host;
    }
}

TEST_F(ServerTest, SlowClientsDoNotHoldUpOthers) {
    Client slow_head(port_);
    slow_head.send("GET /health HTTP/1.1\r\nHost: localhost\r\n");
    Client slow_body(port_);
    slow_body.send("POST /qvl HTTP/1.1\r\nHost: localhost\r\nContent-Length: 30\r\n\r\n{\"Re");
    EXPECT_EQ(get("/health").status, 200);
    slow_head.send("\r\n");
    EXPECT_EQ(slow_head.read().status, 200);
    slow_body.send("quest\":\"Series\"}            ");
    EXPECT_EQ(slow_body.read().body, "{}");
}

TEST_F(ServerTest, ChunkedBodiesInterimAnswersHeadRequestsAndPipelining) {
    Client client(port_);
    const std::string body = R"j({"Request":"Series"})j";
    // A chunked body is put together before the handler sees it.
    client.send(
        "POST /qvl HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n"
        "5\r\n" +
        body.substr(0, 5) + "\r\nf\r\n" + body.substr(5) + "\r\n0\r\n\r\n");
    EXPECT_EQ(client.read().body, "{}");
    // A client that waits for leave to send its body gets it before the body is read.
    client.send(
        "POST /qvl HTTP/1.1\r\nHost: localhost\r\nExpect: 100-continue\r\n"
        "Content-Length: 2\r\n\r\n");
    EXPECT_EQ(client.read_until("\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
    client.send("{}");
    EXPECT_EQ(client.read().status, 400);
    // HEAD: the head of the answer alone, so the connection stays in step.
    client.send("HEAD /health HTTP/1.1\r\nHost: localhost\r\n\r\n");
    const std::string head = client.read_until("\r\n\r\n");
    EXPECT_EQ(head.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << head;
    client.send(
        "GET /health HTTP/1.1\r\nHost: localhost\r\n\r\n"
        "GET /nothing HTTP/1.1\r\nHost: localhost\r\n\r\n");
    EXPECT_EQ(client.read().status, 200);
    EXPECT_EQ(client.read().status, 404);

    // HTTP/1.0 keeps the connection only when asked to, and says so.
    Client old(port_);
    old.send("GET /health HTTP/1.0\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_EQ(old.read().headers.at("connection"), "keep-alive");
    old.send("GET /health HTTP/1.0\r\n\r\n");
    EXPECT_EQ(old.read().status, 200);
    EXPECT_TRUE(old.closed_by_server());
}

TEST_F(ServerTest, StoppingClosesOpenConnectionsAtOnce) {
    Client idle(port_);
    Client halfway(port_);
    halfway.send("POST /qvl HTTP/1.1\r\nHost: localhost\r\nContent-Length: 10\r\n\r\n{");
    EXPECT_EQ(get("/health").status, 200);  // both were taken in before this one
    stop_http_service();
    EXPECT_TRUE(idle.closed_by_server());
    EXPECT_TRUE(halfway.closed_by_server());
}

TEST(HttpServerClass, FirstMatchingRouteAnswersAndHandlerFailuresBecome500) {
    std::uint16_t port = 0;
    ::close(loopback_socket(port, false));
    HttpServer server(port);
    server.AddRoute("GET", u"/fail", [](const HttpServer::Request&) -> HttpServer::Response {
        throw std::runtime_error("boom");
    });
    server.AddRoute("POST", u"/echo", [](const HttpServer::Request& r) {
        return HttpServer::Response{201, "Created", r.method + ":" + r.body};
    });
    server.AddRoute("POST", u"/echo", nullptr);  // never reached: the first match answers
    ASSERT_TRUE(server.Start()) << server.LastError();
    EXPECT_TRUE(server.Start());
    EXPECT_EQ(Client(port).request("GET", "/fail", "").body, R"j({"error":"Unknown error"})j");
    const Reply echoed = Client(port).request("POST", "/echo", "abc");
    EXPECT_EQ(echoed.status, 201);
    EXPECT_EQ(echoed.body, "POST:abc");
    server.Stop();
    EXPECT_FALSE(server.IsRunning());
    server.Stop();
}

}  // namespace
}  // namespace qvl::service::testing
