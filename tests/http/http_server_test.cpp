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

const std::string kEmptyHealth = R"j({"status":"ok","curves":0,"series":0,"swaps":0})j";
const std::string kNoJson = R"j({"error":"No JSON data received"})j";

TEST_F(ServerTest, RoutesMatchMethodAndPathExactly) {
    const std::string authority = "127.0.0.1:" + std::to_string(port_);
    const auto answer = [&](const std::string& request) {
        const std::size_t blank = request.find(' ');
        return Client(port_).request(request.substr(0, blank), request.substr(blank + 1), "{}");
    };
    // No path is the root; the scheme and authority take no part in the path.
    for (const std::string& request : std::vector<std::string>{
             "POST /health", "GET /qvl", "GET /API", "POST /api", "GET /health/", "PUT /health",
             "GET /", "GET http://" + authority, "GET http://" + authority + "?/health",
             "GET https://" + authority + "/health", "GET http:/health"}) {
        const Reply reply = answer(request);
        EXPECT_EQ(reply.status, 404) << request;
        EXPECT_EQ(reply.reason + reply.body, R"j(Not Found{"error":"not found"})j");
    }
    // The target's host must name this machine, as the Host header must.
    for (const std::string& request :
         std::vector<std::string>{"GET http://evil.example/health", "GET http:///health",
                                  "GET http://user@" + authority + "/health"}) {
        EXPECT_EQ(answer(request).status, 403) << request;
    }
    // Paths are matched after decoding, in origin or absolute form; query strings take no part;
    // an empty body gets in.
    EXPECT_EQ(get("/h%65alth").body, kEmptyHealth);
    EXPECT_EQ(get("HTTP://localhost/h%65alth?x=/qvl").body, kEmptyHealth);
    EXPECT_EQ(post("", "/API?x=y").body, kNoJson);
    EXPECT_EQ(post("", "http://" + authority + "/qvl").body, kNoJson);
}

TEST_F(ServerTest, AnswersAreJsonWithLengthOnOneKeptConnection) {
    store();
    Client client(port_);
    const Reply replies[] = {
        client.request("GET", "/health", ""), client.request("POST", "/qvl", kCalculateAt200),
        client.request("GET", "/missing", ""), client.request("POST", "/API", "{}")};
    const int statuses[] = {200, 200, 404, 400};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(replies[i].status, statuses[i]);
        EXPECT_EQ(replies[i].headers.at("content-type"), "application/json");
        EXPECT_EQ(replies[i].headers.at("content-length"), std::to_string(replies[i].body.size()));
    }
    EXPECT_EQ(replies[1].body, kReferenceValuation);
}

TEST_F(ServerTest, OversizedHeadsAndBodiesAreRefusedAndServingGoesOn) {
    // "GET /health HTTP/1.1", Host, the padding header and the blank line: 50 bytes and pad.
    const auto head_of = [](std::size_t size) {
        return "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + std::string(size - 50, 'p') +
               "\r\n\r\n";
    };
    Client fits(port_);
    fits.send(head_of(HttpServer::kHeadBufferSize));
    EXPECT_EQ(fits.read().status, 200);
    Client too_long(port_);
    too_long.send(head_of(HttpServer::kHeadBufferSize + 1));
    EXPECT_EQ(too_long.read().status, 431);

    const std::string too_large = R"j({"error":"request body too large"})j";
    Client declared(port_);  // refused before any of the body is sent
    declared.send("POST /qvl HTTP/1.1\r\nHost: localhost\r\nContent-Length: 1048577\r\n\r\n");
    const Reply refused = declared.read();
    EXPECT_EQ(refused.status, 413);
    EXPECT_EQ(refused.body, too_large);
    Client chunked(port_);
    chunked.send("POST /qvl HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n" +
                 std::string("100001\r\n") + std::string(HttpServer::kMaxBodySize + 1, ' ') +
                 "\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.read().body, too_large);
    // A body of exactly the limit reaches the handler.
    EXPECT_EQ(post(std::string(HttpServer::kMaxBodySize, ' ')).status, 400);
    EXPECT_EQ(get("/health").status, 200);
}

TEST_F(ServerTest, AmbiguousFramingUnknownCodingsAndForeignCallersAreRefused) {
    const auto answer = [&](const std::string& request) {
        Client client(port_);
        client.send(request);
        return client.read();
    };
    const std::string get_health = "GET /health HTTP/1.1\r\n";
    const std::string post_qvl = "POST /qvl HTTP/1.1\r\nHost: localhost\r\n";
    // A chunked body that asks for the series.
    const std::string series = "\r\n14\r\n{\"Request\":\"Series\"}\r\n0\r\n\r\n";
    const std::pair<std::string, int> cases[] = {
        {post_qvl + "Content-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
        {post_qvl + "Content-Length: 2\r\nContent-Length: 2\r\n\r\n", 400},
        {post_qvl + "Content-Length: 2, 2\r\n\r\n", 400},
        {"GET /health\r\nHost: localhost\r\n\r\n", 400},
        {get_health + "\r\n", 400},  // HTTP/1.1 without Host
        {get_health + "Host: evil.example\r\n\r\n", 403},
        {get_health + "Host: localhost.evil.example\r\n\r\n", 403},
        {get_health + "Host: localhost\r\nOrigin: http://localhost\r\n\r\n", 403},
        {get_health + "Host: LocalHost:50080\r\n\r\n", 200},
        {get_health + "Host: [::1]:8\r\n\r\n", 200},
        {"GET /health HTTP/1.0\r\n\r\n", 200},
        // Only chunked is taken, in any case, alone.
        {post_qvl + "Transfer-Encoding: CHUNKED \r\n" + series, 200},
        {post_qvl + "Transfer-Encoding: gzip, chunked\r\n" + series, 501},
        {post_qvl + "Transfer-Encoding: chunked, chunked\r\n" + series, 501},
        {post_qvl + "Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n" + series, 501},
        {post_qvl + "Transfer-Encoding: identity, chunked\r\n" + series, 501},
    };
    for (const auto& [request, status] : cases) {
        const Reply reply = answer(request);
        EXPECT_EQ(reply.status, status) << request;
        if (status == 501) {
            EXPECT_EQ(reply.body, R"j({"error":"transfer coding not supported"})j");
        }
    }
    // A coding that leaves the body's end unknown is refused as malformed framing.
    for (const std::string codings : {"Transfer-Encoding: gzip\r\n", "Transfer-Encoding: \r\n"}) {
        const int status = answer(post_qvl + codings + series).status;
        EXPECT_TRUE(status == 400 || status == 501) << codings << status;
    }
    for (const char* host : {"", "localhost:", "localhost:x", "[::1", "[::2]", "127.0.0.1.x"}) {
        EXPECT_FALSE(win32util::IsLoopbackHost(host)) << host;
    }
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
    StopHttpService();
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
