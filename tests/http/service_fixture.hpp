#pragma once

// A real listener on a free loopback port, the reference objects in the cache, and a plain
// socket client that speaks just enough HTTP/1.1 to check answers byte for byte.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "core/self_check.hpp"
#include "excel/object_cache.hpp"
#include "http/http_service.hpp"

namespace qvl::service::testing {

struct Reply {
    int status = 0;
    std::string reason;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

// A socket bound to 127.0.0.1 (port 0: any free one); the caller owns it.
inline int bound_socket(std::uint16_t port, std::uint16_t* bound = nullptr) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    if (bound) *bound = ntohs(a.sin_port);
    return fd;
}

class Client {
  public:
    explicit Client(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        timeval limit{5, 0};  // no test waits longer for an answer
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { ::close(fd_); }
    bool connected() const { return connected_; }

    bool send(const std::string& bytes) {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const auto n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // One answer; status 0 when the connection closed or timed out first.
    Reply read() {
        Reply reply;
        std::size_t head_end;
        while ((head_end = buffer_.find("\r\n\r\n")) == std::string::npos) {
            if (!fill()) return reply;
        }
        const std::string head = buffer_.substr(0, head_end);
        std::size_t line_end = head.find("\r\n");
        reply.status = std::atoi(head.c_str() + 9);
        reply.reason = head.substr(13, std::min(line_end, head.size()) - 13);
        while (line_end != std::string::npos && line_end < head.size()) {
            const std::size_t next = head.find("\r\n", line_end + 2);
            const std::string line = head.substr(line_end + 2, next - line_end - 2);
            std::string name = line.substr(0, line.find(':'));
            for (char& c : name) c = static_cast<char>(std::tolower(c));
            reply.headers[name] = line.substr(line.find(':') + 2);
            line_end = next;
        }
        const std::size_t length = std::stoul(reply.headers["content-length"]);
        buffer_.erase(0, head_end + 4);
        while (buffer_.size() < length) {
            if (!fill()) return Reply{};
        }
        reply.body = buffer_.substr(0, length);
        buffer_.erase(0, length);
        return reply;
    }

    Reply request(const std::string& method, const std::string& target, const std::string& body,
                  const std::string& extra_headers = "") {
        send(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra_headers +
             "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        return read();
    }

  private:
    bool fill() {
        char chunk[16384];
        const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    int fd_;
    bool connected_ = false;
    std::string buffer_;
};

// Each test starts with an empty cache and a running service, and leaves neither behind.
class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clear_cache();
        // Another process may take the free port between the probe and the start.
        for (int attempt = 0; attempt < 20 && !HttpServiceRunning(); ++attempt) {
            const int probe = bound_socket(0, &port_);
            ::close(probe);
            StartHttpService(port_);
        }
        ASSERT_TRUE(HttpServiceRunning());
    }
    void TearDown() override {
        StopHttpService();
        clear_cache();
    }

    static void clear_cache() {
        auto& cache = addin::ObjectCache::Instance();
        const auto lock = cache.CalculationLock();
        cache.ClearAll();
    }

    // The reference curve, series and swap as #YC_n, #Series_n+1, #Swap_n+2.
    static std::shared_ptr<QVLSwap> store_reference(bool is_buyer = true) {
        auto& cache = addin::ObjectCache::Instance();
        const auto lock = cache.CalculationLock();
        auto swap = make_reference_swap(is_buyer);
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

namespace qvl::service::testing {

// The reference swap valued at 2026-01-20 and 200 bp.
inline const std::string kReferenceValuation =
    R"j({"Upfront Fee (%)":0.03146156,"Conventional Spread (bp)":200.720859,)j"
    R"j("Par Spread (bp)":199.830577,"Credit Event Rate (bp)":200,"Clean Price":99.96853844,)j"
    R"j("Current Notional":9975830,"Upfront Payment":-3138.55,"Accrued Interest":3879.49,)j"
    R"j("Cash Settlement Amount":740.94,"Index Factor at Trade":0.997583,)j"
    R"j("Index Factor at Maturity":0.90300152,"Trade Date":"2026-01-20",)j"
    R"j("Settlement Date":"2026-01-23","Payment Date":"2026-02-11","OIS Date":"2026-01-20"})j";

inline const std::string kCalculateAt200 =
    R"j({"Request":"Calculate","Trade Date":"2026-01-20","Credit Event Rate":200})j";

}  // namespace qvl::service::testing
