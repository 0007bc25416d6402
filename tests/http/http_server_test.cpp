// The listener: routes, headers, keep-alive, the refusals, and starting and stopping.

#include "http/http_server.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/http_transport.hpp"
#include "service_fixture.hpp"

namespace qvl::service::testing {
namespace {

using ServerTest = ServiceTest;
using win32util::HttpServer;

const std::string empty_health = R"j({"status":"ok","curves":0,"series":0,"swaps":0})j";
const std::string no_json = R"j({"error":"No JSON data received"})j";

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
    EXPECT_EQ(answer("GET http://evil.example/health").status, 403);
    // Paths are matched after decoding, in origin or absolute form; query strings take no part;
    // an empty body gets in.
    EXPECT_EQ(get("/h%65alth").body, empty_health);
    EXPECT_EQ(get("HTTP://localhost/h%65alth?x=/qvl").body, empty_health);
    EXPECT_EQ(post("", "/API?x=y").body, no_json);
    EXPECT_EQ(post("", "http://" + authority + "/qvl").body, no_json);
}

TEST_F(ServerTest, OversizedAmbiguousAndForeignRequestsAreRefused) {
    const auto answer = [&](const std::string& request) {
        Client client(port_);
        client.send(request);
        return client.read();
    };
    const std::string get_health = "GET /health HTTP/1.1\r\n";
    const std::string post_qvl = "POST /qvl HTTP/1.1\r\nHost: localhost\r\n";
    // A head of size bytes: the request line, Host, the padding header and the blank line.
    const auto head_of = [&](std::size_t size) {
        return get_health + "Host: 127.0.0.1\r\nX-Pad: " + std::string(size - 50, 'p') + "\r\n\r\n";
    };
    const std::size_t limit = HttpServer::max_body_size;
    // A body in two chunks that asks for the series.
    const std::string series = "\r\n5\r\n{\"Req\r\nf\r\nuest\":\"Series\"}\r\n0\r\n\r\n";
    const std::pair<std::string, int> cases[] = {
        {head_of(HttpServer::head_buffer_size), 200},
        {head_of(HttpServer::head_buffer_size + 1), 431},
        // A declared body too large is refused before any of it is sent; one of exactly the
        // limit reaches the handler.
        {post_qvl + "Content-Length: " + std::to_string(limit + 1) + "\r\n\r\n", 413},
        {post_qvl + "Transfer-Encoding: chunked\r\n\r\n100001\r\n" + std::string(limit + 1, ' ') +
             "\r\n0\r\n\r\n",
         413},
        {post_qvl + "Content-Length: " + std::to_string(limit) + "\r\n\r\n" +
             std::string(limit, ' '),
         400},
        {post_qvl + "Content-Length: 2\r\nContent-Length: 2\r\n\r\n", 400},
        {"GET /health\r\nHost: localhost\r\n\r\n", 400},
        {get_health + "\r\n", 400},  // HTTP/1.1 without Host
        {get_health + "Host: localhost\r\nOrigin: http://localhost\r\n\r\n", 403},
        // The screening's rules are tested on their own; these show each part of the head
        // reaches it. A port no one can listen on is malformed; an empty one is the default.
        {get_health + "Host: localhost:99999\r\n\r\n", 400},
        {"GET http://localhost:/health HTTP/1.1\r\nHost: localhost\r\n\r\n", 200},
        {"GET /health HTTP/1.0\r\n\r\n", 200},
        // Only chunked is taken, in any case, alone; the chunks are put together.
        {post_qvl + "Transfer-Encoding: CHUNKED \r\n" + series, 200},  // answered "{}"
        {post_qvl + "Transfer-Encoding: gzip, chunked\r\n" + series, 501},
        {post_qvl + "Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n" + series, 501},
        // A chunk-size line and the trailers are bounded as a head is.
        {post_qvl + "Transfer-Encoding: chunked\r\n\r\n5;x=" + std::string(20000, 'x') +
             series.substr(3, 29) + "0\r\nX-Pad: " + std::string(20000, 'p') + "\r\n\r\n",
         200},
        {post_qvl + "Transfer-Encoding: chunked\r\n" + series.substr(0, 32) +
             "0\r\nX-Pad: " + std::string(HttpServer::head_buffer_size, 'p') + "\r\n\r\n",
         431},
    };
    for (const auto& [request, status] : cases) {
        const Reply reply = answer(request);
        EXPECT_EQ(reply.status, status) << request.substr(0, 100);
        if (status == 413 || status == 501) {
            EXPECT_EQ(reply.body, status == 413 ? R"j({"error":"request body too large"})j"
                                                : R"j({"error":"transfer coding not supported"})j");
        }
    }
    // A coding that leaves the body's end unknown is refused as malformed framing.
    for (const std::string codings : {"Transfer-Encoding: gzip\r\n", "Transfer-Encoding: \r\n"}) {
        const int status = answer(post_qvl + codings + series).status;
        EXPECT_TRUE(status == 400 || status == 501) << codings << status;
    }
}

TEST_F(ServerTest, InterimAnswersHeadRequestsAndPipelining) {
    Client client(port_);
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
}

}  // namespace
}  // namespace qvl::service::testing
