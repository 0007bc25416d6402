// The refusals a request earns by its head alone, the same on every platform.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "http/http_transport.hpp"

namespace win32util {
namespace {

const std::map<int, std::string> bodies = {{400, R"j({"error":"bad request"})j"},
                                           {403, R"j({"error":"forbidden"})j"},
                                           {413, R"j({"error":"request body too large"})j"},
                                           {501, R"j({"error":"transfer coding not supported"})j"}};

int status_of(const RequestHead& head) {
    const auto refusal = screen(head);
    if (!refusal) return 200;
    EXPECT_EQ(refusal->body, bodies.at(refusal->status));
    return refusal->status;
}

RequestHead from(std::string_view host) {
    return {.hosts = 1, .host = host};
}

TEST(Screening, HostAndTargetMustNameThisMachineAtAPortOneCanListenOn) {
    // An empty port is the default one; a port no one can listen on is malformed.
    const std::pair<int, std::vector<std::string_view>> cases[] = {
        {200,
         {"localhost", "LocalHost:50080", "127.0.0.1", "[::1]:8", "localhost:65535",
          "localhost:00080", "localhost:", "[::1]:"}},
        {400, {"localhost:0", "localhost:65536", "127.0.0.1:99999999999999999999999"}},
        {403,
         {"", "evil.example", "evil.example:99999", "localhost.evil.example", "user@localhost",
          "localhost:x", "[::1", "[::1]x", "[::2]", "127.0.0.1.x"}}};
    for (const auto& [status, names] : cases) {
        for (const std::string_view name : names) {
            EXPECT_EQ(status_of(from(name)), status) << name;
            // A target in absolute form names the host as well, in any case.
            const std::string target = "hTTp://" + std::string(name) + "/health";
            RequestHead absolute = from("localhost");
            absolute.target = target;
            EXPECT_EQ(status_of(absolute), status) << target;
        }
    }
}

TEST(Screening, FramingMustBeUnambiguousAndWithinTheLimits) {
    const auto post = [](RequestHead head) {
        head.hosts = 1;
        head.host = "localhost";
        return head;
    };
    const std::pair<RequestHead, int> cases[] = {
        // Only HTTP/1.0 may leave Host out; one Host, and no web page's Origin.
        {{.http_1_0 = true}, 200},
        {{}, 400},
        {{.hosts = 2, .host = "localhost"}, 400},
        {{.origin = true, .hosts = 1, .host = "localhost"}, 403},
        {post({.lengths = 1, .length = "1048576"}), 200},
        {post({.lengths = 1, .length = "1048577"}), 413},
        {post({.lengths = 1, .length = "99999999999999999999999"}), 413},
        {post({.lengths = 2, .length = "2"}), 400},
        {post({.lengths = 1, .length = "2, 2"}), 400},
        {post({.lengths = 1, .length = ""}), 400},
        {post({.lengths = 1, .length = "2", .codings = 1, .coding = "chunked"}), 400},
        // Chunked alone, in any case.
        {post({.codings = 1, .coding = " CHUNKED "}), 200},
        {post({.codings = 1, .coding = "gzip, chunked"}), 501},
        {post({.codings = 1, .coding = "chunked, chunked"}), 501},
        {post({.codings = 2, .coding = "chunked"}), 501},
        {post({.codings = 1, .coding = ""}), 501}};
    for (const auto& [head, status] : cases) {
        EXPECT_EQ(status_of(head), status)
            << head.hosts << " " << head.length << " " << head.codings << " " << head.coding;
    }
}

}  // namespace
}  // namespace win32util
